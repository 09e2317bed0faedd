// What a GSD file says about one user parameter (an ExtUserPrmData block) and the texts that
// name its values (a PrmText block).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace dp
{

enum class teGsdDataType
{
    Unsigned8,
    Unsigned16,
    Unsigned32,
    Signed8,
    Signed16,
    Signed32,
    Bit,     // one bit of a byte
    BitArea, // bits first to last of a byte
    Unread   // a type this reader does not place (OctetString, Float32, ...)
};

// Texts for a parameter's values: Text(value) = "...".
struct SGsdPrmText
{
    std::uint32_t dwId = 0;
    std::size_t nLine = 0;
    std::vector<std::pair<std::int64_t, std::string>> texts; // in the file's order
};

struct SGsdUserPrm
{
    std::uint32_t dwId = 0;
    std::string strName;
    std::size_t nLine = 0; // of the ExtUserPrmData line
    teGsdDataType eType = teGsdDataType::Unread;
    std::string strTypeName;     // as the file spells it
    std::size_t nTypeLine = 0;   // 0: the block has no data type line
    std::uint8_t byFirstBit = 0; // Bit and BitArea only
    std::uint8_t byLastBit = 0;
    std::int64_t nDefault = 0;
    // Allowed values: a range, or (bList) the values of anAllowed only.
    bool bList = false;
    std::int64_t nMin = 0;
    std::int64_t nMax = 0;
    std::vector<std::int64_t> anAllowed;
    std::uint32_t dwTextRef = 0;
    std::size_t nTextRefLine = 0; // 0: no Prm_Text_Ref
};

} // namespace dp
