// What each of the eight board operations does to the board, once the call has passed fault
// injection and holds the board's lock. Each fills the request and returns its error word.
#pragma once

#include "sim/SharedBoardLayout.h"

#include <cstdint>

namespace korix
{

using PFN_PERFORM = std::uint16_t (*)(SBoardState& state, SBoardRequest& request,
                                      std::uint32_t dwNow);

std::uint16_t PerformRegister(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow);
std::uint16_t PerformReadSlaveList(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow);
std::uint16_t PerformReadInput(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow);
std::uint16_t PerformReadOutput(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow);
std::uint16_t PerformWriteOutput(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow);
std::uint16_t PerformReadSlaveStates(SBoardState& state, SBoardRequest& request,
                                     std::uint32_t dwNow);
std::uint16_t PerformSetWatchdog(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow);
std::uint16_t PerformClose(SBoardState& state, SBoardRequest& request, std::uint32_t dwNow);

// The statuses that go with an error word injected for the operation, as shown at dwNow.
void AnswerInjected(const SBoardState& state, SBoardRequest& request, teOperation eOperation,
                    std::uint32_t dwNow);

} // namespace korix
