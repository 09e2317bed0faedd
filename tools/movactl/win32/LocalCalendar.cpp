#include "tools/movactl/LocalCalendar.h"

namespace movactl
{

bool LocalCalendar(std::time_t tTime, std::tm& tmCalendar)
{
    return localtime_s(&tmCalendar, &tTime) == 0;
}

bool UtcCalendar(std::time_t tTime, std::tm& tmCalendar)
{
    return gmtime_s(&tmCalendar, &tTime) == 0;
}

} // namespace movactl
