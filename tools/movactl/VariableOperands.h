// The variables that read, watch and write take after their options: how a person types them
// and why they are refused, as a wrong option is, before anything is opened.
#pragma once

#include "tools/common/CommandLine.h"
#include "tools/movactl/Arguments.h"
#include "tools/movactl/Variable.h"

#include <string>
#include <vector>

namespace movactl
{

// VAR... of a command that reads: required, with the notation's help.
void AddReadOperands(CLI::App& command, std::vector<std::string>& astrTexts);

// The texts as variables to read (VAR) or to write (VAR=VALUE). The first wrong one is refused
// with what is wrong with it.
std::vector<SVariable> ParseReadOperands(const std::vector<std::string>& astrTexts);
std::vector<SVariable> ParseWriteOperands(const std::vector<std::string>& astrTexts);

// Only a configured slave has its lengths in the table: with --slaves, a variable must name a
// listed slave (without it, every address is configured).
void CheckConfigured(const SVariable& variable, const SArguments& args);

} // namespace movactl
