// The main of every tool: the command runs, and an exception that got that far ends the tool
// with a message and exit code 1 rather than an abort.
#pragma once

#include <cstdio>
#include <exception>

inline int RunGuarded(const char* pszTool, int (*pfnCommand)(int, char**), int argc, char** argv)
{
    try
    {
        return pfnCommand(argc, argv);
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "%s: %s\n", pszTool, e.what());
    }
    catch (...)
    {
        std::fprintf(stderr, "%s: unexpected failure\n", pszTool);
    }
    return 1;
}
