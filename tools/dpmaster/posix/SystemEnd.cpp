// On POSIX the system ends a program with signals, which tools::CStopRequest takes.
#include "tools/dpmaster/SystemEnd.h"

namespace dpmaster
{

CSystemEnd::CSystemEnd(bool) {}

CSystemEnd::~CSystemEnd() = default;

bool CSystemEnd::IsRequested()
{
    return false;
}

void CSystemEnd::Request() {}

} // namespace dpmaster
