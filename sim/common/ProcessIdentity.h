// Who owns a registration, told apart well enough to notice that the owner has died even when
// its process id has been given to another process since.
#pragma once

#include <cstdint>

namespace korix
{

struct SProcessIdentity
{
    std::int32_t nPid;
    std::uint64_t qwStartTime; // in the system's own unit; 0 when unknown
};

SProcessIdentity CurrentProcess();

// This process's id, cheap enough for every board call (a forked child gets its own).
std::int32_t CurrentProcessId();

// False only when the process has surely ended.
bool IsProcessAlive(const SProcessIdentity& identity);

} // namespace korix
