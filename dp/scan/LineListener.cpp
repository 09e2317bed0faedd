#include "dp/scan/LineListener.h"

#include "dp/fdl/FunctionCodes.h"

#include "platform/Clock.h"

#include <algorithm>

namespace dp
{

namespace
{

SLineHeard Listen(IDpLine& line, std::uint64_t qwQuietNs, std::uint64_t qwMaxNs)
{
    SLineHeard heard;
    CTelegramParser parser;
    auto take = [&](const STelegram& telegram, std::size_t)
    {
        ++heard.dwTelegrams;
        if (telegram.eFrame == teFrame::Sd4)
        {
            ++heard.dwTokens;
            heard.nTokenHolder = telegram.bySa;
        }
        else if (telegram.eFrame != teFrame::ShortAck)
        {
            ++heard.dwChecked;
            if (IsRequestFc(telegram.byFc))
            {
                ++heard.dwRequests;
                heard.nRequester = telegram.bySa;
            }
        }
        return false;
    };
    const std::uint64_t qwStart = platform::ReadMonotonicNs();
    const std::uint64_t qwEnd = qwStart + qwMaxNs;
    std::uint64_t qwLastByte = qwStart;
    std::uint8_t abyBuffer[512];
    for (;;)
    {
        const std::uint64_t qwNow = platform::ReadMonotonicNs();
        if (qwNow >= qwEnd)
            break;
        const std::uint64_t qwQuietAt = qwLastByte + qwQuietNs;
        if (qwQuietNs != 0 && qwNow >= qwQuietAt)
        {
            heard.bQuiet = true;
            break;
        }
        const std::uint64_t qwDeadline = qwQuietNs != 0 ? std::min(qwQuietAt, qwEnd) : qwEnd;
        const long nRead = line.Receive(abyBuffer, sizeof abyBuffer, qwDeadline);
        if (nRead < 0)
        {
            heard.bFailed = true;
            break;
        }
        if (nRead == 0)
        {
            // A gap ends whatever telegram was begun.
            parser.TakeEachOnIdle(take);
            continue;
        }
        qwLastByte = platform::ReadMonotonicNs();
        heard.dwBytes += static_cast<std::uint32_t>(nRead);
        parser.FeedEach(abyBuffer, static_cast<std::size_t>(nRead), take);
    }
    parser.TakeEachOnIdle(take);
    heard.parser = parser.Counters();
    return heard;
}

} // namespace

SLineHeard ListenToLine(IDpLine& line, std::uint64_t qwQuietNs, std::uint64_t qwMaxNs)
{
    return Listen(line, std::max<std::uint64_t>(qwQuietNs, 1), qwMaxNs);
}

SLineHeard ListenFor(IDpLine& line, std::uint64_t qwForNs)
{
    return Listen(line, 0, qwForNs);
}

} // namespace dp
