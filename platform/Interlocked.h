// InterlockedIncrement and InterlockedDecrement on a plain 32-bit field: the field keeps its
// type and place in the record, only every access to it is indivisible.
#pragma once

#include <cstdint>

#if !defined(_WIN32)
#include <atomic>
#endif

namespace platform
{

#if defined(_WIN32)

// platform/win32/Interlocked.cpp: the Interlocked* calls themselves.
std::int32_t AtomicIncrement(std::int32_t* pValue);
std::int32_t AtomicDecrement(std::int32_t* pValue);
std::int32_t AtomicRead(const std::int32_t* pValue);

#else

inline std::int32_t AtomicIncrement(std::int32_t* pValue)
{
    return std::atomic_ref<std::int32_t>(*pValue).fetch_add(1) + 1;
}

inline std::int32_t AtomicDecrement(std::int32_t* pValue)
{
    return std::atomic_ref<std::int32_t>(*pValue).fetch_sub(1) - 1;
}

inline std::int32_t AtomicRead(const std::int32_t* pValue)
{
    return std::atomic_ref<std::int32_t>(*const_cast<std::int32_t*>(pValue)).load();
}

#endif

} // namespace platform
