// The data types of user parameters: reading an ExtUserPrmData block's type line
// ("Unsigned8 1 0-3", "Bit(2) 0 0-1", "BitArea(4-7) 1 0,1,5"), what a type can hold, and
// whether a value is one the block allows.
#pragma once

#include "dp/gsd/GsdTextLines.h"
#include "dp/gsd/GsdUserPrm.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace dp
{

// Fills the type, default and allowed values of prm from its type line; a type this reader
// does not place becomes teGsdDataType::Unread (its value is not read). False with the reason.
bool ReadGsdDataType(const SGsdLine& line, SGsdUserPrm& prm, std::string& strWhy);

// The smallest and largest value the parameter's type holds.
void GsdTypeLimits(const SGsdUserPrm& prm, std::int64_t& nMin, std::int64_t& nMax);

// How many bytes the parameter takes in the user parameter data (Bit and BitArea: 1).
std::size_t GsdTypeBytes(teGsdDataType eType);

// Whether the value is in the parameter's range or value list.
bool GsdValueAllowed(const SGsdUserPrm& prm, std::int64_t nValue);

// "0-3" or "0, 1, 5", as the allowed values are shown to people.
std::string GsdAllowedText(const SGsdUserPrm& prm);

} // namespace dp
