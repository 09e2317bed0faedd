// Other users for the tests of what another user on the machine can and cannot do to us: two
// unprivileged accounts, created on first use when the tests run as root (CI does), and a way
// to start a program as one of them. Without root the tests that need them skip.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <pwd.h>
#include <string>
#include <sys/types.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testsupport
{

struct STestUser
{
    std::string strName;
    uid_t nUid = 0;
    gid_t nGid = 0;
};

// nIndex 1 or 2: "movajob-test1", "movajob-test2". False, with the reason, when the user
// neither exists nor can be made.
inline bool GetTestUser(int nIndex, STestUser& user, std::string& strWhyNot)
{
    const std::string strName = "movajob-test" + std::to_string(nIndex);
    if (access("/usr/bin/setpriv", X_OK) != 0)
    {
        strWhyNot = "needs /usr/bin/setpriv to run a program as another user";
        return false;
    }
    // useradd refuses while another useradd holds /etc/passwd: tests run side by side.
    for (int nAttempt = 0; nAttempt < 50; ++nAttempt)
    {
        if (const passwd* pEntry = getpwnam(strName.c_str()))
        {
            user = {strName, pEntry->pw_uid, pEntry->pw_gid};
            return true;
        }
        if (geteuid() != 0)
        {
            strWhyNot = "the user " + strName + " does not exist and only root can create it";
            return false;
        }
        std::string strCommand = "useradd --system --user-group --no-create-home "
                                 "--home-dir /nonexistent --shell /usr/sbin/nologin " +
                                 strName + " >/dev/null 2>&1";
        if (std::system(strCommand.c_str()) != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    strWhyNot = "useradd could not create " + strName;
    return false;
}

// argv to run as the user, with no supplementary groups and the caller's environment.
inline std::vector<std::string> AsUser(const STestUser& user, const std::vector<std::string>& argv)
{
    std::vector<std::string> command{"/usr/bin/setpriv", "--reuid=" + std::to_string(user.nUid),
                                     "--regid=" + std::to_string(user.nGid), "--clear-groups",
                                     "--"};
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

} // namespace testsupport
