#include "tools/movactl/MasterServes.h"

namespace movactl
{

// korix-dpmaster runs on Linux only: a board here is the simulated one.
bool DpMasterServes(std::int32_t)
{
    return false;
}

} // namespace movactl
