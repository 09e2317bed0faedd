#include "tests/support/PrivateBoard.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

namespace testsupport
{

std::string CPrivateBoardEnvironment::Prefix()
{
    return "movajobtest" + std::to_string(getpid());
}

void CPrivateBoardEnvironment::SetUp()
{
    setenv("KORIXSIM_PREFIX", Prefix().c_str(), 1);
}

void CPrivateBoardEnvironment::TearDown()
{
    std::string filePrefix = Prefix() + ".";
    DIR* pDir = opendir("/dev/shm");
    if (!pDir)
        return;
    while (const dirent* pEntry = readdir(pDir))
        if (std::strncmp(pEntry->d_name, filePrefix.c_str(), filePrefix.size()) == 0)
            unlinkat(dirfd(pDir), pEntry->d_name, 0);
    closedir(pDir);
}

} // namespace testsupport
