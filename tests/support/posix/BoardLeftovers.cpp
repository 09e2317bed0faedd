#include "tests/support/BoardLeftovers.h"

#include <cstring>
#include <dirent.h>
#include <unistd.h>

namespace testsupport
{

void RemoveBoardLeftovers(const std::string& strPrefix)
{
    std::string filePrefix = strPrefix + ".";
    DIR* pDir = opendir("/dev/shm");
    if (!pDir)
        return;
    while (const dirent* pEntry = readdir(pDir))
        if (std::strncmp(pEntry->d_name, filePrefix.c_str(), filePrefix.size()) == 0)
            unlinkat(dirfd(pDir), pEntry->d_name, 0);
    closedir(pDir);
}

} // namespace testsupport
