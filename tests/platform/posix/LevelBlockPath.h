// Where a level block of a user lives on POSIX, as docs/level-block.md gives it, for tests that
// put files in its way or look for what it leaves behind.
#pragma once

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace platformtest
{

inline std::string LevelBlockPath(uid_t nUid, const std::string& strName)
{
    std::string strRuntime = "/run/user/" + std::to_string(nUid);
    struct stat st = {};
    bool bPrivate = lstat(strRuntime.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
                    st.st_uid == nUid && (st.st_mode & 077) == 0;
    return (bPrivate ? strRuntime : std::string("/dev/shm")) + "/movatrace." +
           std::to_string(nUid) + "." + strName;
}

} // namespace platformtest
