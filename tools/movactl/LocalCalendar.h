// The operating system's calendar of a moment, thread-safe: localtime_r and gmtime_r on POSIX,
// localtime_s and gmtime_s on Windows (posix/ and win32/ hold one each).
#pragma once

#include <ctime>

namespace movactl
{

bool LocalCalendar(std::time_t tTime, std::tm& tmCalendar);
bool UtcCalendar(std::time_t tTime, std::tm& tmCalendar);

} // namespace movactl
