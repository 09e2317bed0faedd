// A user parameter's values as people give and read them: a number (decimal, negative, or
// 0x hex) or one of the texts of the parameter's PrmText.
#pragma once

#include "dp/gsd/GsdStation.h"

#include <cstdint>
#include <string>

namespace dp
{

// False with the reason when the text is neither a number nor one of the parameter's texts.
// Whether the value is allowed is not checked here.
bool ReadGsdValue(const SGsdStation& station, const SGsdUserPrm& prm, const std::string& strText,
                  std::int64_t& nValue, std::string& strWhy);

// The text the parameter's PrmText gives the value; empty when there is none.
std::string GsdValueName(const SGsdStation& station, const SGsdUserPrm& prm, std::int64_t nValue);

// Case-insensitive comparison of names and texts (ASCII letters; other bytes as they are).
bool GsdSameName(const std::string& strA, const std::string& strB);

} // namespace dp
