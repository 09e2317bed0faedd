#include "dp/gsd/GsdFieldPlacer.h"

#include "dp/gsd/GsdDataType.h"

namespace dp
{

void PlaceGsdField(std::vector<std::uint8_t>& abyBytes, std::size_t nOffset, const SGsdUserPrm& prm,
                   std::int64_t nValue)
{
    const auto qwBits = static_cast<std::uint64_t>(nValue);
    if (prm.eType == teGsdDataType::Bit || prm.eType == teGsdDataType::BitArea)
    {
        const unsigned uWidth = prm.byLastBit - prm.byFirstBit + 1u;
        const auto byMask = static_cast<std::uint8_t>(((1u << uWidth) - 1u) << prm.byFirstBit);
        std::uint8_t& byTarget = abyBytes[nOffset];
        byTarget =
            static_cast<std::uint8_t>((byTarget & ~byMask) | ((qwBits << prm.byFirstBit) & byMask));
        return;
    }
    const std::size_t nBytes = GsdTypeBytes(prm.eType);
    for (std::size_t i = 0; i < nBytes; ++i)
        abyBytes[nOffset + i] = static_cast<std::uint8_t>(qwBits >> (8 * (nBytes - 1 - i)));
}

} // namespace dp
