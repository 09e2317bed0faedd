// Standard input on Windows cannot be asked whether it holds something the same way for a
// console, a pipe and a file, so a thread of its own reads it, blocking, and keeps what came
// for the next look. It is never joined: a read of a console cannot be ended, and the process's
// end takes the thread with it.
#include "tools/dpmaster/StandardStreams.h"

#include "platform/win32/WindowsHeaders.h"

#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace dpmaster
{

namespace
{

struct SInput
{
    std::mutex mutex;
    std::string strCame;
    bool bEnded = false;
};

SInput& Input()
{
    // Never destroyed: the reader thread may still use it while the process ends.
    static SInput* pInput = new SInput;
    return *pInput;
}

void ReadInputForever()
{
    SInput& input = Input();
    const HANDLE hInput = GetStdHandle(STD_INPUT_HANDLE);
    char achBuffer[1024];
    for (;;)
    {
        DWORD dwRead = 0;
        const bool bRead = hInput != nullptr && hInput != INVALID_HANDLE_VALUE &&
                           ReadFile(hInput, achBuffer, sizeof achBuffer, &dwRead, nullptr) &&
                           dwRead > 0;
        std::lock_guard<std::mutex> lock(input.mutex);
        if (!bRead)
        {
            input.bEnded = true;
            return;
        }
        // A line nobody takes must not fill the memory: beyond 64 KiB, what is older goes.
        input.strCame.append(achBuffer, dwRead);
        if (input.strCame.size() > 65536)
            input.strCame.erase(0, input.strCame.size() - 65536);
    }
}

} // namespace

bool WriteToOutput(int fd, const std::string& strText)
{
    const HANDLE hOutput = GetStdHandle(fd == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (hOutput == nullptr || hOutput == INVALID_HANDLE_VALUE)
        return false;
    std::size_t nDone = 0;
    while (nDone < strText.size())
    {
        DWORD dwWritten = 0;
        if (!WriteFile(hOutput, strText.data() + nDone, static_cast<DWORD>(strText.size() - nDone),
                       &dwWritten, nullptr))
            return false;
        nDone += dwWritten;
    }
    return true;
}

CWriterThreadSignals::CWriterThreadSignals() : m_abySaved{} {}

CWriterThreadSignals::~CWriterThreadSignals() = default;

long ReadStandardInputNow(char* pchBuffer, std::size_t nCapacity)
{
    static std::once_flag started;
    bool bStarted = true;
    std::call_once(started,
                   [&]
                   {
                       try
                       {
                           std::thread(ReadInputForever).detach();
                       }
                       catch (...)
                       {
                           bStarted = false;
                       }
                   });
    if (!bStarted)
        return -1;
    SInput& input = Input();
    std::lock_guard<std::mutex> lock(input.mutex);
    if (input.strCame.empty())
        return input.bEnded ? -1 : 0;
    const std::size_t nTaken = std::min(nCapacity, input.strCame.size());
    std::memcpy(pchBuffer, input.strCame.data(), nTaken);
    input.strCame.erase(0, nTaken);
    return static_cast<long>(nTaken);
}

} // namespace dpmaster
