// Texts and buffer sizes of trace lines that more than one file of the tracer needs.
#pragma once

#include "platform/TraceDelivery.h"

#include <cstddef>
#include <cstdint>

namespace tracetext
{

using platform::kTraceMessageName;
inline constexpr char kDefaultWindowClass[] = "TraceWindow";
inline constexpr char kMessageTooLong[] = "###### TRACER ERROR: Message Too Long!\n";

// Lines are built on the stack in buffers of these sizes, terminating zero included.
inline constexpr std::size_t kStampBytes = 50;
inline constexpr std::size_t kLineBytes = 8092;
inline constexpr std::size_t kDateLineBytes = 200;
inline constexpr std::size_t kStringTextBytes = 4096;
inline constexpr std::size_t kDumpLineBytes = 200;
inline constexpr std::size_t kDumpByteBytes = 100;
inline constexpr std::size_t kTooLongBytes = 256;

// A line level counts by its low 16 bits, read as signed: 65534 is the error level -2.
inline std::int16_t LineLevel(int nLevel)
{
    return static_cast<std::int16_t>(nLevel);
}

} // namespace tracetext
