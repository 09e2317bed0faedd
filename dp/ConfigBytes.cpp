#include "dp/ConfigBytes.h"

namespace dp
{

namespace
{

std::uint32_t LengthOf(std::uint8_t byLengthBits, bool bWords)
{
    return (byLengthBits + 1u) * (bWords ? 2u : 1u);
}

} // namespace

bool ConfigImageLengths(const std::uint8_t* pbyConfig, std::size_t nCount, SImageLengths& lengths,
                        std::string& strError)
{
    lengths = SImageLengths{};
    std::size_t i = 0;
    while (i < nCount)
    {
        const std::uint8_t byIdentifier = pbyConfig[i];
        const std::uint8_t byDirection = (byIdentifier >> 4) & 0x03;
        if (byDirection != 0)
        {
            const std::uint32_t dwLength =
                LengthOf(byIdentifier & 0x0F, (byIdentifier & 0x40) != 0);
            if (byDirection & 0x01)
                lengths.dwInputs += dwLength;
            if (byDirection & 0x02)
                lengths.dwOutputs += dwLength;
            ++i;
            continue;
        }
        const std::uint8_t byManufacturerBytes = byIdentifier & 0x0F;
        const std::uint8_t byKind = byIdentifier >> 6;
        if (byManufacturerBytes == 15)
        {
            strError =
                "byte " + std::to_string(i) + ": special identifier with 15 manufacturer bytes";
            return false;
        }
        if (byKind == 0 && byManufacturerBytes == 0)
        {
            ++i; // empty slot
            continue;
        }
        std::size_t nLengthBytes = byKind == 3 ? 2 : (byKind == 0 ? 0 : 1);
        if (i + 1 + nLengthBytes + byManufacturerBytes > nCount)
        {
            strError = "byte " + std::to_string(i) + ": special identifier runs past the end";
            return false;
        }
        // With both, the output length byte comes first.
        for (std::size_t k = 0; k < nLengthBytes; ++k)
        {
            const std::uint8_t byLength = pbyConfig[i + 1 + k];
            const std::uint32_t dwLength = LengthOf(byLength & 0x3F, (byLength & 0x40) != 0);
            const bool bOutput = byKind == 2 || (byKind == 3 && k == 0);
            (bOutput ? lengths.dwOutputs : lengths.dwInputs) += dwLength;
        }
        i += 1 + nLengthBytes + byManufacturerBytes;
    }
    return true;
}

} // namespace dp
