#include "dp/fdl/TelegramText.h"

#include "dp/fdl/FunctionCodes.h"

#include <cstdio>

namespace dp
{

namespace
{

const char* CodeName(std::uint8_t byCode, bool bRequest)
{
    const char* pszName = FunctionCodeName(byCode, bRequest);
    if (pszName != nullptr)
        return pszName;
    return bRequest ? "request ?" : "response ?";
}

const char* FrameName(teFrame eFrame)
{
    switch (eFrame)
    {
    case teFrame::Sd1:
        return "SD1";
    case teFrame::Sd2:
        return "SD2";
    case teFrame::Sd3:
        return "SD3";
    case teFrame::Sd4:
        return "SD4";
    case teFrame::ShortAck:
        return "E5";
    }
    return "?";
}

} // namespace

std::string TelegramDecode(const STelegram& telegram)
{
    if (telegram.eFrame == teFrame::ShortAck)
        return "E5";
    char szText[160];
    if (telegram.eFrame == teFrame::Sd4)
    {
        std::snprintf(szText, sizeof szText, "SD4 %u->%u", telegram.bySa, telegram.byDa);
        return szText;
    }
    const std::uint8_t byCode = FcCode(telegram.byFc);
    std::string strFc;
    if (IsRequestFc(telegram.byFc))
    {
        strFc = CodeName(byCode, true);
        if (FcFcb(telegram.byFc))
            strFc += " FCB";
        if (FcFcv(telegram.byFc))
            strFc += " FCV";
    }
    else
    {
        strFc = CodeName(byCode, false);
        if ((telegram.byFc & kFcStationTypeMask) != kStationSlave)
            strFc += " from a master";
    }
    if ((telegram.byFc & kFcReserved) != 0)
        strFc += " (reserved bit)";
    std::string strSaps;
    if (telegram.bHasDsap || telegram.bHasSsap)
    {
        const std::string strS = telegram.bHasSsap ? std::to_string(telegram.bySsap) : "-";
        const std::string strD = telegram.bHasDsap ? std::to_string(telegram.byDsap) : "-";
        strSaps = ", SAP " + strS + "->" + strD;
    }
    std::snprintf(szText, sizeof szText, "%s %u->%u %s%s, %u byte%s", FrameName(telegram.eFrame),
                  telegram.bySa, telegram.byDa, strFc.c_str(), strSaps.c_str(),
                  telegram.byDataLength, telegram.byDataLength == 1 ? "" : "s");
    return szText;
}

std::string TelegramHex(const STelegram& telegram)
{
    std::uint8_t abyBytes[kMaxTelegramSize];
    const std::size_t nCount = EncodeTelegram(telegram, abyBytes, sizeof abyBytes);
    std::string strHex;
    strHex.reserve(nCount * 3);
    char szByte[4];
    for (std::size_t i = 0; i < nCount; ++i)
    {
        std::snprintf(szByte, sizeof szByte, i == 0 ? "%02x" : " %02x", abyBytes[i]);
        strHex += szByte;
    }
    return strHex;
}

} // namespace dp
