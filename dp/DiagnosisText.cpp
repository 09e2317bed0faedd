#include "dp/DiagnosisText.h"

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

std::string DeviceText(ByteView content, const SDiagTexts* pTexts)
{
    std::string strText = "device: " + Hex(content);
    if (pTexts == nullptr)
        return strText;
    std::string strWords;
    auto add = [&](const std::string& strWord)
    { strWords += (strWords.empty() ? "" : ", ") + strWord; };
    for (const auto& [dwBit, strBitText] : pTexts->unitBits)
    {
        if (BitSet(content, dwBit))
            add(strBitText);
    }
    for (const SDiagTexts::SArea& area : pTexts->unitAreas)
    {
        std::uint32_t dwValue = 0;
        for (std::uint32_t dwBit = area.dwLastBit + 1; dwBit-- > area.dwFirstBit;)
            dwValue = (dwValue << 1) | (BitSet(content, dwBit) ? 1u : 0u);
        const auto it = area.values.find(dwValue);
        if (it != area.values.end())
            add(it->second);
    }
    return strWords.empty() ? strText : strText + " (" + strWords + ")";
}

std::string IdentifierText(ByteView content)
{
    std::string strModules;
    for (std::uint32_t dwBit = 0; dwBit < content.size() * 8; ++dwBit)
    {
        if (BitSet(content, dwBit))
            strModules += (strModules.empty() ? "" : ", ") + std::to_string(dwBit);
    }
    return "modules with diagnosis: " + (strModules.empty() ? std::string("none") : strModules);
}

std::string ChannelText(const SDiagBlock& block, const SDiagTexts* pTexts)
{
    const char* pszDirection = block.byDirection == (kChannelInput | kChannelOutput)
                                   ? "input/output"
                                   : (block.byDirection == kChannelInput
                                          ? "input"
                                          : (block.byDirection == kChannelOutput ? "output" : "?"));
    std::string strText = "module " + std::to_string(block.byModule) + " channel " +
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
    CDiagBlockReader reader(diag.extended);
    SDiagBlock block;
    while (reader.Next(block))
    {
        strText += "; ";
        switch (block.eKind)
        {
        case teDiagBlock::Device:
            strText += DeviceText(block.content, pTexts);
            break;
        case teDiagBlock::Identifier:
            strText += IdentifierText(block.content);
            break;
        case teDiagBlock::Channel:
            strText += ChannelText(block, pTexts);
            break;
        case teDiagBlock::Reserved:
            strText += "block of unknown kind: " + Hex(block.content);
            break;
        }
    }
    if (reader.Malformed())
        strText += "; malformed extended diagnosis";
    return strText;
}

} // namespace dp
