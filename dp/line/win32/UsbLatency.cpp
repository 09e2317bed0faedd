// Windows keeps a USB adapter's latency timer in its driver's settings (Device Manager, the
// port's "Advanced" page), where no interface of the system reads it: the master cannot tell,
// and docs/windows.md says where to set it.
#include "dp/line/UsbLatency.h"

namespace dp
{

int ReadUsbLatencyTimer(const std::string&, const std::string&)
{
    return -1;
}

std::string UsbLatencyAdvice(const std::string&, const std::string&)
{
    return {};
}

} // namespace dp
