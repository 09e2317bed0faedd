#include "tools/movatrace/ServeFailure.h"

#include <cerrno>
#include <cstring>

namespace movatrace
{

std::string ServeFailureReason()
{
    int nError = errno;
    return nError == 0
               ? "the system gave no reason"
               : std::string(std::strerror(nError)) + " (errno " + std::to_string(nError) + ")";
}

} // namespace movatrace
