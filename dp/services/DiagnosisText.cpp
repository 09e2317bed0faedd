#include "dp/services/DiagnosisText.h"

#include <algorithm>
#include <cstdio>

namespace dp
{

namespace
{

struct SBitName
{
    int nByte; // station status 1, 2 or 3
    std::uint8_t byMask;
    const char* pszText;
};

// In the order people should read them: what keeps the slave out first.
constexpr SBitName kStatusBits[] = {
    {1, kDiag1StationNonExistent, "station not existent"},
    {1, kDiag1StationNotReady, "not ready"},
    {1, kDiag1ConfigFault, "configuration fault"},
    {1, kDiag1PrmFault, "parameter fault"},
    {1, kDiag1MasterLock, "locked by another master"},
    {1, kDiag1InvalidSlaveResponse, "invalid response"},
    {1, kDiag1NotSupported, "function not supported"},
    {1, kDiag1ExtDiag, "extended diagnosis"},
    {2, kDiag2PrmRequest, "parameters wanted"},
    {2, kDiag2StatDiag, "static diagnosis"},
    {2, kDiag2WatchdogOn, "watchdog on"},
    {2, kDiag2FreezeMode, "freeze"},
    {2, kDiag2SyncMode, "sync"},
    {2, kDiag2Deactivated, "deactivated"},
    {3, kDiag3ExtDiagOverflow, "diagnosis overflow"},
};

const char* const kChannelErrors[] = {
    nullptr,           "short circuit", "undervoltage",         "overvoltage",          "overload",
    "overtemperature", "line break",    "upper limit exceeded", "lower limit exceeded", "error"};

// Channel types, the top three bits of a channel block's third byte.
const char* const kChannelTypes[] = {nullptr, "bit",  "2 bits",  "4 bits",
                                     "byte",  "word", "2 words", nullptr};

std::string Hex(ByteView bytes)
{
    std::string strText;
    char szByte[4];
    for (std::uint8_t by : bytes)
    {
        std::snprintf(szByte, sizeof szByte, "%s%02x", strText.empty() ? "" : " ", by);
        strText += szByte;
    }
    return strText;
}

bool BitSet(ByteView bytes, std::uint32_t dwBit)
{
    return dwBit / 8 < bytes.size() && ((bytes[dwBit / 8] >> (dwBit % 8)) & 1) != 0;
}

// The areas of a description by their first bit, so that a block finds the ones that begin
// inside it without a walk over all of them.
using AreaIndex = std::vector<const SDiagTexts::SArea*>;

AreaIndex IndexAreas(const SDiagTexts& texts)
{
    AreaIndex index;
    const std::size_t nCount = std::min(texts.unitAreas.size(), kMaxUnitDiagAreas);
    index.reserve(nCount);
    for (std::size_t i = 0; i < nCount; ++i)
        index.push_back(&texts.unitAreas[i]);
    std::stable_sort(index.begin(), index.end(),
                     [](const SDiagTexts::SArea* pLeft, const SDiagTexts::SArea* pRight)
                     { return pLeft->dwFirstBit < pRight->dwFirstBit; });
    return index;
}

// The area's value from the bits the block holds (those beyond it are 0); false when it does
// not fit 32 bits, which no text can name.
bool AreaValue(ByteView content, const SDiagTexts::SArea& area, std::uint32_t& dwValue)
{
    const std::uint64_t qwEnd =
        std::min<std::uint64_t>(std::uint64_t{area.dwLastBit} + 1, content.size() * 8ull);
    dwValue = 0;
    for (std::uint64_t qwBit = area.dwFirstBit; qwBit < qwEnd; ++qwBit)
    {
        if (!BitSet(content, static_cast<std::uint32_t>(qwBit)))
            continue;
        const std::uint64_t qwShift = qwBit - area.dwFirstBit;
        if (qwShift >= 32)
            return false;
        dwValue |= 1u << qwShift;
    }
    return true;
}

// Words beyond nRoom characters are left out: the whole text is cut there anyway.
std::string DeviceText(ByteView content, const SDiagTexts* pTexts, const AreaIndex& areas,
                       std::size_t nRoom)
{
    std::string strText = "device: " + Hex(content);
    if (pTexts == nullptr)
        return strText;
    std::string strWords;
    auto add = [&](const std::string& strWord)
    { strWords += (strWords.empty() ? "" : ", ") + strWord; };
    const std::uint32_t dwBits = static_cast<std::uint32_t>(content.size() * 8);
    const auto itBitsEnd = pTexts->unitBits.lower_bound(dwBits);
    for (auto it = pTexts->unitBits.begin(); it != itBitsEnd && strWords.size() <= nRoom; ++it)
    {
        if (BitSet(content, it->first))
            add(it->second);
    }
    const auto itAreasEnd = std::partition_point(areas.begin(), areas.end(),
                                                 [dwBits](const SDiagTexts::SArea* pArea)
                                                 { return pArea->dwFirstBit < dwBits; });
    for (auto it = areas.begin(); it != itAreasEnd && strWords.size() <= nRoom; ++it)
    {
        std::uint32_t dwValue = 0;
        if (!AreaValue(content, **it, dwValue))
            continue;
        const auto itText = (*it)->values.find(dwValue);
        if (itText != (*it)->values.end())
            add(itText->second);
    }
    return strWords.empty() ? strText : strText + " (" + strWords + ")";
}

// Cuts the text to its longest length, not inside a character of UTF-8.
void CutShort(std::string& strText)
{
    static const std::string kCut = " ... (cut short)";
    if (strText.size() <= kMaxDiagnosisTextLength)
        return;
    std::size_t nAt = kMaxDiagnosisTextLength - kCut.size();
    while (nAt > 0 && (static_cast<unsigned char>(strText[nAt]) & 0xC0) == 0x80)
        --nAt;
    strText.resize(nAt);
    strText += kCut;
}

// A slave numbers its modules from 0 (the identifier-related bits, a channel block's
// identifier number); people count slots from 1 and know a module by its name. A name is cut
// to nRoom characters: the whole text is cut there anyway.
std::string SlotText(std::uint32_t dwModule, const SDiagTexts* pTexts, std::size_t nRoom)
{
    std::string strText = "slot " + std::to_string(dwModule + 1);
    if (pTexts == nullptr || dwModule >= pTexts->moduleNames.size())
        return strText;
    const std::string& strName = pTexts->moduleNames[dwModule];
    return strName.empty() ? strText : strText + " (" + strName.substr(0, nRoom) + ")";
}

std::string IdentifierText(ByteView content, const SDiagTexts* pTexts, std::size_t nRoom)
{
    std::string strModules;
    for (std::uint32_t dwBit = 0; dwBit < content.size() * 8 && strModules.size() <= nRoom; ++dwBit)
    {
        if (BitSet(content, dwBit))
            strModules += (strModules.empty() ? "" : ", ") + SlotText(dwBit, pTexts, nRoom);
    }
    return "modules with diagnosis: " + (strModules.empty() ? std::string("none") : strModules);
}

std::string ChannelText(const SDiagBlock& block, const SDiagTexts* pTexts, std::size_t nRoom)
{
    const char* pszDirection = block.byDirection == (kChannelInput | kChannelOutput)
                                   ? "input/output"
                                   : (block.byDirection == kChannelInput
                                          ? "input"
                                          : (block.byDirection == kChannelOutput ? "output" : "?"));
    std::string strText = SlotText(block.byModule, pTexts, nRoom) + " channel " +
                          std::to_string(block.byChannel) + " (" + pszDirection;
    if (const char* pszType = kChannelTypes[block.byType & 0x07])
        strText += std::string(", ") + pszType;
    strText += "): ";
    if (const char* pszError = ChannelErrorText(block.byError))
        return strText + pszError;
    if (pTexts != nullptr)
    {
        const auto it = pTexts->channelErrors.find(block.byError);
        if (it != pTexts->channelErrors.end())
            return strText + it->second;
    }
    return strText + (block.byError >= 16 ? "maker's error " : "error type ") +
           std::to_string(block.byError);
}

} // namespace

std::string StationStatusText(std::uint8_t byStatus1, std::uint8_t byStatus2,
                              std::uint8_t byStatus3)
{
    std::string strText;
    for (const SBitName& bit : kStatusBits)
    {
        const std::uint8_t byStatus =
            bit.nByte == 1 ? byStatus1 : (bit.nByte == 2 ? byStatus2 : byStatus3);
        if ((byStatus & bit.byMask) != 0)
            strText += (strText.empty() ? "" : ", ") + std::string(bit.pszText);
    }
    return strText.empty() ? "ok" : strText;
}

const char* ChannelErrorText(std::uint8_t byError)
{
    return byError < sizeof kChannelErrors / sizeof kChannelErrors[0] ? kChannelErrors[byError]
                                                                      : nullptr;
}

std::string DiagnosisText(const SSlaveDiag& diag, const SDiagTexts* pTexts)
{
    char szHead[64];
    std::string strText = StationStatusText(diag.byStatus1, diag.byStatus2, diag.byStatus3);
    if (diag.byMasterAddress == kDiagNoMaster)
        std::snprintf(szHead, sizeof szHead, "; no master; ident 0x%04X", diag.wIdent);
    else
        std::snprintf(szHead, sizeof szHead, "; master %u; ident 0x%04X", diag.byMasterAddress,
                      diag.wIdent);
    strText += szHead;
    const AreaIndex areas = pTexts != nullptr ? IndexAreas(*pTexts) : AreaIndex();
    CDiagBlockReader reader(diag.extended);
    SDiagBlock block;
    while (strText.size() <= kMaxDiagnosisTextLength && reader.Next(block))
    {
        strText += "; ";
        const std::size_t nRoom =
            kMaxDiagnosisTextLength - std::min(strText.size(), kMaxDiagnosisTextLength);
        switch (block.eKind)
        {
        case teDiagBlock::Device:
            strText += DeviceText(block.content, pTexts, areas, nRoom);
            break;
        case teDiagBlock::Identifier:
            strText += IdentifierText(block.content, pTexts, nRoom);
            break;
        case teDiagBlock::Channel:
            strText += ChannelText(block, pTexts, nRoom);
            break;
        case teDiagBlock::Reserved:
            strText += "block of unknown kind: " + Hex(block.content);
            break;
        }
    }
    if (reader.Malformed())
        strText += "; malformed extended diagnosis";
    CutShort(strText);
    return strText;
}

} // namespace dp
