// The steps of movactl demo. Each says in plain words what it does and what that shows, and
// returns whether the board answered as the simulated board's default plant does.
#pragma once

#include "tools/movactl/BoardSession.h"
#include "tools/movactl/Variable.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace movactl
{

void SayStep(int nStep, const std::string& strTitle);
// Prints text indented under its step, a line end after every line.
void Say(const std::string& strText);

// Whether the slave is configured with the default plant's lengths; says so when not.
bool HasPlantSlave(const CBoardSession& session, std::uint8_t byAddress, std::uint16_t wLenIn,
                   std::uint16_t wLenOut);

// Variables in movactl's own notation; the demo's texts are known to parse.
std::vector<SVariable> ParseReads(std::initializer_list<std::string> aTexts);
std::vector<SVariable> ParseWrites(const std::vector<std::string>& aTexts);

// Step 4: a pattern written to the loopback slaves 3 and 5 and read back through the inputs.
bool ShowLoopback(CBoardSession& session, int nStep);
// Step 5: slave 4's counters, sine, random and constant bytes, for dwSeconds.
bool ShowMovingInputs(CBoardSession& session, int nStep, std::uint32_t dwSeconds);
// Step 6: batches that wait while the job is closed, one withdrawn through EnumJobQueue.
bool ShowQueue(CBoardSession& session, int nStep);

} // namespace movactl
