// Faults injected on purpose: the next calls of an operation answer a given error word, or
// take longer than they need.
#pragma once

#include "sim/SharedBoardLayout.h"

#include <cstdint>

namespace korix
{

struct STakenFault
{
    std::uint16_t wErrorWord; // 0: answer normally
    std::uint32_t dwDelayMs;  // 0: no delay
};

// What one call of the operation meets; counts the fault's calls down.
STakenFault TakeFault(SFault& fault);

// dwCount 0 clears the part of the fault.
void SetErrorFault(SFault& fault, std::uint16_t wErrorWord, std::uint32_t dwCount);
void SetDelayFault(SFault& fault, std::uint32_t dwDelayMs, std::uint32_t dwCount);

} // namespace korix
