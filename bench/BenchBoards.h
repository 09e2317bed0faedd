// Simulated boards of the benchmark process's own: their shared memory names carry a prefix
// that only this process (and the children it forks) uses, removed when the run ends.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unistd.h>

namespace bench
{

inline std::string BoardPrefix()
{
    static const std::string prefix = "movajobbench" + std::to_string(getpid());
    return prefix;
}

inline void UsePrivateBoards()
{
    setenv("KORIXSIM_PREFIX", BoardPrefix().c_str(), 1);
}

inline void RemovePrivateBoards()
{
    std::string filePrefix = BoardPrefix() + ".";
    if (DIR* pDir = opendir("/dev/shm"))
    {
        while (const dirent* pEntry = readdir(pDir))
            if (std::strncmp(pEntry->d_name, filePrefix.c_str(), filePrefix.size()) == 0)
                unlinkat(dirfd(pDir), pEntry->d_name, 0);
        closedir(pDir);
    }
}

// The main of a benchmark program on boards of its own.
inline int RunOnPrivateBoards(int argc, char** argv)
{
    UsePrivateBoards();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemovePrivateBoards();
    return 0;
}

} // namespace bench
