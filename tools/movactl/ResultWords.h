// The library's result numbers in words, each with the number it came from.
#pragma once

#include <cstdint>
#include <string>

namespace movactl
{

// What movactl puts into lResult before a batch goes out; the library never answers it.
inline constexpr std::int32_t kResultNotRun = 1;

// lResult of a read or write record: "done", "outside the image (-963)", "board error 0x81 (2)".
std::string DescribeResult(std::int32_t lResult);

// lResult of a connection test, with the slave's status number from the slave table:
// "connected", "slave state 4 (44)", "master not operational (50)", ...
std::string DescribeTestResult(std::int32_t lResult, std::uint16_t wStatus);

// What a failed OpenJob answered.
std::string DescribeOpenResult(std::int32_t lResult);

// What PutJob, CloseJob and SetJobNotification answered: "done (0)", "not open (-1)", ...
std::string DescribePutResult(std::int32_t lResult);
std::string DescribeCloseResult(std::int32_t lResult);
std::string DescribeNotifyResult(std::int32_t lResult);

// A slave's status number from the slave table in words: "slave state 2, exchanging data",
// "board error 0x81"; the number itself stands beside it in the tables.
std::string DescribeStatus(std::uint16_t wStatus);

} // namespace movactl
