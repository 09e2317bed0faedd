// Says on standard error what the program waits for once a call has taken longer than a person
// waits without wondering (about a second), so that a slow board is no silence: "movactl:
// waiting for board 1 to open (OpenJob) ...". Nothing is said when the call returns in time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace movactl
{

inline constexpr std::chrono::milliseconds kSlowAfter{1000};

class CSlowNotice
{
public:
    // From now on; the notice is "movactl: waiting for <strWhat> ...".
    explicit CSlowNotice(std::string strWhat);
    // The call has returned: no notice any more; if one was given, how long the wait was.
    ~CSlowNotice();
    CSlowNotice(const CSlowNotice&) = delete;
    CSlowNotice& operator=(const CSlowNotice&) = delete;

private:
    std::string m_strWhat;
    std::chrono::steady_clock::time_point m_start;
    std::mutex m_mutex;
    std::condition_variable m_cvDone;
    bool m_bDone = false;
    bool m_bSaid = false;
    std::thread m_thread;
};

} // namespace movactl
