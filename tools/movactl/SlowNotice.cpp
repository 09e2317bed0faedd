#include "tools/movactl/SlowNotice.h"

#include <cstdio>

namespace movactl
{

CSlowNotice::CSlowNotice(std::string strWhat)
    : m_strWhat(std::move(strWhat)), m_start(std::chrono::steady_clock::now())
{
    m_thread = std::thread(
        [this]
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_cvDone.wait_for(lock, kSlowAfter, [this] { return m_bDone; }))
                return;
            std::fprintf(stderr, "movactl: waiting for %s ...\n", m_strWhat.c_str());
            std::fflush(stderr);
            m_bSaid = true;
        });
}

CSlowNotice::~CSlowNotice()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bDone = true;
    }
    m_cvDone.notify_all();
    m_thread.join();
    if (m_bSaid)
    {
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - m_start);
        std::fprintf(stderr, "movactl: waited %.1f s for %s\n",
                     static_cast<double>(elapsed.count()) / 1000.0, m_strWhat.c_str());
    }
}

} // namespace movactl
