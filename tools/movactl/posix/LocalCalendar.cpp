#include "tools/movactl/LocalCalendar.h"

namespace movactl
{

bool LocalCalendar(std::time_t tTime, std::tm& tmCalendar)
{
    return localtime_r(&tTime, &tmCalendar) != nullptr;
}

bool UtcCalendar(std::time_t tTime, std::tm& tmCalendar)
{
    return gmtime_r(&tTime, &tmCalendar) != nullptr;
}

} // namespace movactl
