// One movactl command: its name, its description, its own options and what it runs, together
// in the command's file, which defines its Make...Command(). CommandTable.cpp lists them.
#pragma once

#include "tools/common/CommandLine.h"
#include "tools/movactl/Arguments.h"
#include "tools/movactl/CommonOptions.h"

#include <memory>

namespace movactl
{

using tools::ExitFailed;
using tools::ExitOk;
using tools::ExitUsage;

struct SCommandText
{
    const char* pszName;
    // On movactl --help beside the name, and on top of the command's own page.
    const char* pszDescription;
    // Lines above kEveryCommandNote at the foot of the command's page, each ending in "\n".
    const char* pszExamples = "";
};

class CCommand
{
public:
    explicit CCommand(const SCommandText& text) : m_text(text) {}
    virtual ~CCommand() = default;
    CCommand(const CCommand&) = delete;
    CCommand& operator=(const CCommand&) = delete;

    const SCommandText& GetText() const { return m_text; }

    // Adds the command's options to its subcommand; those of several commands through common,
    // so that each is defined once. The options bind to the command's own members.
    virtual void AddOptions(CLI::App& command, CCommonOptions& common) = 0;
    // After the command line is parsed and before anything runs: checks what needs its
    // arguments together, and refuses them by throwing CLI::ValidationError, as CLI11 refuses a
    // wrong option (movactl then exits with ExitUsage).
    virtual void Complete(const SArguments& /*args*/) {}
    // Returns the process's exit code.
    virtual int Run(const SArguments& args) = 0;

private:
    SCommandText m_text;
};

using CommandPtr = std::unique_ptr<CCommand>;

} // namespace movactl
