#include "platform/Interlocked.h"

#include "platform/win32/WindowsHeaders.h"

// LONG is 32 bits on every Windows target, so the field is used in place as it is.
static_assert(sizeof(LONG) == sizeof(std::int32_t));

namespace platform
{

std::int32_t AtomicIncrement(std::int32_t* pValue)
{
    return InterlockedIncrement(reinterpret_cast<volatile LONG*>(pValue));
}

std::int32_t AtomicDecrement(std::int32_t* pValue)
{
    return InterlockedDecrement(reinterpret_cast<volatile LONG*>(pValue));
}

std::int32_t AtomicRead(const std::int32_t* pValue)
{
    // Adding 0 with InterlockedCompareExchange would need write access; a full fence around
    // an aligned 32-bit read gives the same guarantee.
    MemoryBarrier();
    std::int32_t nValue = *static_cast<const volatile std::int32_t*>(pValue);
    MemoryBarrier();
    return nValue;
}

} // namespace platform
