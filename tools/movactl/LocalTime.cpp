#include "tools/movactl/LocalTime.h"

#include "tools/movactl/LocalCalendar.h"

#include <cstdio>
#include <cstdlib>

namespace movactl
{

namespace
{

struct SStamp
{
    std::tm tmLocal{};
    int nMillisecond = 0;
    int nOffsetMinutes = 0; // east of UTC
};

SStamp StampOf(TWallTime time)
{
    using namespace std::chrono;
    // Whole seconds towards the past, so that a time just before a second is not rounded up.
    auto seconds = floor<std::chrono::seconds>(time);
    SStamp stamp;
    stamp.nMillisecond = static_cast<int>(duration_cast<milliseconds>(time - seconds).count());
    std::time_t tTime = system_clock::to_time_t(seconds);
    std::tm tmUtc{};
    if (!LocalCalendar(tTime, stamp.tmLocal) || !UtcCalendar(tTime, tmUtc))
        return stamp;
    // The local calendar minus the UTC one, in minutes, over at most a day's difference.
    int nDays = stamp.tmLocal.tm_yday - tmUtc.tm_yday;
    if (nDays > 1)
        nDays = -1; // local time is in the year before
    else if (nDays < -1)
        nDays = 1; // local time is in the next year
    stamp.nOffsetMinutes = nDays * 24 * 60 + (stamp.tmLocal.tm_hour - tmUtc.tm_hour) * 60 +
                           (stamp.tmLocal.tm_min - tmUtc.tm_min);
    return stamp;
}

} // namespace

std::string ClockText(TWallTime time)
{
    SStamp stamp = StampOf(time);
    char szText[32];
    std::snprintf(szText, sizeof szText, "%02d:%02d:%02d.%03d", stamp.tmLocal.tm_hour,
                  stamp.tmLocal.tm_min, stamp.tmLocal.tm_sec, stamp.nMillisecond);
    return szText;
}

std::string IsoText(TWallTime time)
{
    SStamp stamp = StampOf(time);
    int nOffset = std::abs(stamp.nOffsetMinutes);
    char szText[64];
    std::snprintf(szText, sizeof szText, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                  stamp.tmLocal.tm_year + 1900, stamp.tmLocal.tm_mon + 1, stamp.tmLocal.tm_mday,
                  stamp.tmLocal.tm_hour, stamp.tmLocal.tm_min, stamp.tmLocal.tm_sec,
                  stamp.nMillisecond, stamp.nOffsetMinutes < 0 ? '-' : '+', nOffset / 60,
                  nOffset % 60);
    return szText;
}

} // namespace movactl
