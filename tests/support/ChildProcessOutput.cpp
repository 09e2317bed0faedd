// What a child writes, cut into lines: the same on every system, on top of ReadChunk.
#include "tests/support/ChildProcess.h"

#include <chrono>

namespace testsupport
{

namespace
{

// Milliseconds from now until the deadline; 0 or less once it has passed.
long long MillisecondsLeft(std::chrono::steady_clock::time_point deadline)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                 std::chrono::steady_clock::now())
        .count();
}

} // namespace

bool CChildProcess::ReadLine(std::string& line, int nTimeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        std::size_t nEnd = m_buffered.find('\n');
        if (nEnd != std::string::npos)
        {
            line = m_buffered.substr(0, nEnd);
            m_buffered.erase(0, nEnd + 1);
            return true;
        }
        long long nLeft = MillisecondsLeft(deadline);
        if (nLeft <= 0 || ReadChunk(static_cast<int>(nLeft)) == teChunk::Finished)
            return false;
    }
}

std::string CChildProcess::ReadAll(int nTimeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        long long nLeft = MillisecondsLeft(deadline);
        if (nLeft <= 0 || ReadChunk(static_cast<int>(nLeft)) == teChunk::Finished)
            break;
    }
    std::string all;
    all.swap(m_buffered);
    return all;
}

SRunResult RunToEnd(const std::vector<std::string>& argv, int nTimeoutMs)
{
    CChildProcess child(argv, teErrorOutput::Merged);
    std::string strOutput = child.ReadAll(nTimeoutMs);
    return {child.Wait(nTimeoutMs), strOutput};
}

} // namespace testsupport
