#include "dp/services/ServiceData.h"

#include <cstring>

namespace dp
{

namespace
{

constexpr std::size_t kChannelBlockBytes = 3;

std::uint16_t UnitsToBytes(std::uint8_t byLengthBits, bool bWords)
{
    return static_cast<std::uint16_t>((byLengthBits + 1u) * (bWords ? 2u : 1u));
}

} // namespace

std::size_t EncodeSetPrm(const SSetPrm& prm, std::uint8_t* pbyOut, std::size_t nCapacity)
{
    const std::size_t nSize = kPrmFixedBytes + prm.userPrm.size();
    if (prm.userPrm.size() > kMaxUserPrmBytes || nSize > nCapacity)
        return 0;
    pbyOut[0] = prm.byStationStatus;
    pbyOut[1] = prm.byWatchdogFactor1;
    pbyOut[2] = prm.byWatchdogFactor2;
    pbyOut[3] = prm.byMinTsdr;
    pbyOut[4] = static_cast<std::uint8_t>(prm.wIdent >> 8);
    pbyOut[5] = static_cast<std::uint8_t>(prm.wIdent);
    pbyOut[6] = prm.byGroup;
    if (!prm.userPrm.empty())
        std::memcpy(pbyOut + kPrmFixedBytes, prm.userPrm.data(), prm.userPrm.size());
    return nSize;
}

bool DecodeSetPrm(ByteView bytes, SSetPrm& prm)
{
    if (bytes.size() < kPrmFixedBytes || bytes.size() > kPrmFixedBytes + kMaxUserPrmBytes)
        return false;
    prm.byStationStatus = bytes[0];
    prm.byWatchdogFactor1 = bytes[1];
    prm.byWatchdogFactor2 = bytes[2];
    prm.byMinTsdr = bytes[3];
    prm.wIdent = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    prm.byGroup = bytes[6];
    prm.userPrm = bytes.subspan(kPrmFixedBytes);
    return true;
}

std::size_t EncodeSlaveDiag(const SSlaveDiag& diag, std::uint8_t* pbyOut, std::size_t nCapacity)
{
    const std::size_t nSize = kDiagFixedBytes + diag.extended.size();
    if (nSize > kMaxDiagBytes || nSize > nCapacity)
        return 0;
    pbyOut[0] = diag.byStatus1;
    pbyOut[1] = diag.byStatus2;
    pbyOut[2] = diag.byStatus3;
    pbyOut[3] = diag.byMasterAddress;
    pbyOut[4] = static_cast<std::uint8_t>(diag.wIdent >> 8);
    pbyOut[5] = static_cast<std::uint8_t>(diag.wIdent);
    if (!diag.extended.empty())
        std::memcpy(pbyOut + kDiagFixedBytes, diag.extended.data(), diag.extended.size());
    return nSize;
}

bool DecodeSlaveDiag(ByteView bytes, SSlaveDiag& diag)
{
    if (bytes.size() < kDiagFixedBytes || bytes.size() > kMaxDiagBytes)
        return false;
    diag.byStatus1 = bytes[0];
    diag.byStatus2 = bytes[1];
    diag.byStatus3 = bytes[2];
    diag.byMasterAddress = bytes[3];
    diag.wIdent = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    diag.extended = bytes.subspan(kDiagFixedBytes);
    return true;
}

bool CDiagBlockReader::Next(SDiagBlock& block)
{
    if (m_bMalformed || m_nAt >= m_bytes.size())
        return false;
    const std::uint8_t byHeader = m_bytes[m_nAt];
    block = SDiagBlock{};
    block.eKind = static_cast<teDiagBlock>(byHeader >> kDiagBlockKindShift);
    std::size_t nSize = 0;
    if (block.eKind == teDiagBlock::Channel)
    {
        nSize = kChannelBlockBytes;
        if (m_nAt + nSize > m_bytes.size())
        {
            m_bMalformed = true;
            return false;
        }
        block.byModule = byHeader & kDiagBlockLengthMask;
        block.byDirection = m_bytes[m_nAt + 1] & (kChannelInput | kChannelOutput);
        block.byChannel = m_bytes[m_nAt + 1] & kChannelNumberMask;
        block.byType = static_cast<std::uint8_t>(m_bytes[m_nAt + 2] >> 5);
        block.byError = m_bytes[m_nAt + 2] & kChannelErrorMask;
        block.content = m_bytes.subspan(m_nAt + 1, 2);
    }
    else
    {
        // The length counts the header itself: a block is at least its header.
        nSize = byHeader & kDiagBlockLengthMask;
        if (nSize == 0 || m_nAt + nSize > m_bytes.size())
        {
            m_bMalformed = true;
            return false;
        }
        block.content = m_bytes.subspan(m_nAt + 1, nSize - 1);
    }
    m_nAt += nSize;
    return true;
}

bool CConfigReader::Next(SConfigIdentifier& identifier)
{
    if (m_pszError != nullptr || m_nAt >= m_bytes.size())
        return false;
    identifier = SConfigIdentifier{};
    const std::uint8_t byIdentifier = m_bytes[m_nAt];
    if ((byIdentifier & (kCfgInput | kCfgOutput)) != 0)
    {
        identifier.bWords = (byIdentifier & kCfgWords) != 0;
        identifier.bConsistent = (byIdentifier & kCfgConsistent) != 0;
        const std::uint16_t wLength = UnitsToBytes(byIdentifier & kCfgUnitsMask, identifier.bWords);
        if ((byIdentifier & kCfgInput) != 0)
            identifier.wInputBytes = wLength;
        if ((byIdentifier & kCfgOutput) != 0)
            identifier.wOutputBytes = wLength;
        identifier.nSize = 1;
        ++m_nAt;
        return true;
    }
    const std::uint8_t byMakerBytes = byIdentifier & kCfgMakerBytesMask;
    const std::uint8_t byKind = byIdentifier >> kCfgSpecialKindShift;
    if (byMakerBytes == kCfgMakerBytesRefused)
    {
        m_pszError = "special identifier with 15 manufacturer bytes";
        return false;
    }
    // 0x00 is an empty slot.
    identifier.bSpecial = !(byKind == kCfgSpecialNoLength && byMakerBytes == 0);
    const std::size_t nLengthBytes =
        byKind == kCfgSpecialBoth ? 2 : (byKind == kCfgSpecialNoLength ? 0 : 1);
    const std::size_t nSize = 1 + nLengthBytes + byMakerBytes;
    if (m_nAt + nSize > m_bytes.size())
    {
        m_pszError = "special identifier runs past the end";
        return false;
    }
    // With both, the output length byte comes first.
    for (std::size_t k = 0; k < nLengthBytes; ++k)
    {
        const std::uint8_t byLength = m_bytes[m_nAt + 1 + k];
        const bool bWords = (byLength & kCfgWords) != 0;
        const std::uint16_t wLength = UnitsToBytes(byLength & kCfgLengthMask, bWords);
        const bool bOutput = byKind == kCfgSpecialOutput || (byKind == kCfgSpecialBoth && k == 0);
        (bOutput ? identifier.wOutputBytes : identifier.wInputBytes) = wLength;
        identifier.bWords = identifier.bWords || bWords;
        identifier.bConsistent = identifier.bConsistent || (byLength & kCfgConsistent) != 0;
    }
    identifier.maker = m_bytes.subspan(m_nAt + 1 + nLengthBytes, byMakerBytes);
    identifier.nSize = nSize;
    m_nAt += nSize;
    return true;
}

std::uint8_t GeneralIdentifier(std::uint8_t byUnits, bool bInput, bool bOutput, bool bWords,
                               bool bConsistent)
{
    if (byUnits == 0 || byUnits > kCfgMaxGeneralUnits || (!bInput && !bOutput))
        return 0;
    return static_cast<std::uint8_t>((bConsistent ? kCfgConsistent : 0) | (bWords ? kCfgWords : 0) |
                                     (bOutput ? kCfgOutput : 0) | (bInput ? kCfgInput : 0) |
                                     (byUnits - 1));
}

std::size_t EncodeGlobalControl(const SGlobalControl& control, std::uint8_t* pbyOut,
                                std::size_t nCapacity)
{
    if (nCapacity < kGlobalControlBytes)
        return 0;
    pbyOut[0] = control.byControl;
    pbyOut[1] = control.byGroups;
    return kGlobalControlBytes;
}

bool DecodeGlobalControl(ByteView bytes, SGlobalControl& control)
{
    if (bytes.size() != kGlobalControlBytes)
        return false;
    control.byControl = bytes[0];
    control.byGroups = bytes[1];
    return true;
}

} // namespace dp
