#include "sim/Faults.h"

namespace korix
{

STakenFault TakeFault(SFault& fault)
{
    STakenFault taken{0, 0};
    if (fault.dwErrorCount != 0)
    {
        taken.wErrorWord = fault.wErrorWord;
        if (--fault.dwErrorCount == 0)
            fault.wErrorWord = 0;
    }
    if (fault.dwDelayCount != 0)
    {
        taken.dwDelayMs = fault.dwDelayMs;
        if (--fault.dwDelayCount == 0)
            fault.dwDelayMs = 0;
    }
    return taken;
}

void SetErrorFault(SFault& fault, std::uint16_t wErrorWord, std::uint32_t dwCount)
{
    fault.wErrorWord = dwCount == 0 ? 0 : wErrorWord;
    fault.dwErrorCount = dwCount;
}

void SetDelayFault(SFault& fault, std::uint32_t dwDelayMs, std::uint32_t dwCount)
{
    // A count of 0 or a delay of 0 both mean "no delay".
    bool bClear = dwCount == 0 || dwDelayMs == 0;
    fault.dwDelayMs = bClear ? 0 : dwDelayMs;
    fault.dwDelayCount = bClear ? 0 : dwCount;
}

} // namespace korix
