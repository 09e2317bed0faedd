// Why the trace window could not serve a class, in the system's words: what a person needs to
// mend it (on Windows, most often that there is no display to make a window on).
#pragma once

#include <string>

namespace movatrace
{

// To be called right after CTraceWindowHost::AddClass failed, which leaves the system's error
// of the failed call behind (errno, GetLastError).
std::string ServeFailureReason();

} // namespace movatrace
