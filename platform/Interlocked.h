// InterlockedIncrement and InterlockedDecrement on a plain 32-bit field: the field keeps its
// type and place in the record, only every access to it is indivisible.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform
{

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

} // namespace platform
