#include "dp/fdl/TelegramText.h"

#include "dp/fdl/FunctionCodes.h"

#include <cstdio>

namespace dp
{

namespace
{

const char* RequestName(std::uint8_t byCode)
{
    switch (byCode)
    {
    case ReqTimeEvent:
        return "time event";
    case ReqSdaLow:
        return "SDA low";
    case ReqSdnLow:
        return "SDN low";
    case ReqSdaHigh:
        return "SDA high";
    case ReqSdnHigh:
        return "SDN high";
    case ReqMsrd:
        return "MSRD";
    case ReqFdlStatus:
        return "FDL status";
    case ReqSrdLow:
        return "SRD low";
    case ReqSrdHigh:
        return "SRD high";
    case ReqIdent:
        return "ident";
    case ReqLsapStatus:
        return "LSAP status";
    default:
        return "request ?";
    }
}

const char* ResponseName(std::uint8_t byCode)
{
    switch (byCode)
    {
    case RespOk:
        return "OK";
    case RespUserError:
        return "UE";
    case RespNoResource:
        return "RR";
    case RespNoService:
        return "RS";
    case RespDataLow:
        return "DL";
    case RespNoData:
        return "NR";
    case RespDataHigh:
        return "DH";
    case RespDataLowNoRes:
        return "RDL";
    case RespDataHighNoRes:
        return "RDH";
    default:
        return "response ?";
    }
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
        strFc = RequestName(byCode);
        if (FcFcb(telegram.byFc))
            strFc += " FCB";
        if (FcFcv(telegram.byFc))
            strFc += " FCV";
    }
    else
    {
        strFc = ResponseName(byCode);
        if ((telegram.byFc & kFcStationTypeMask) != kStationSlave)
            strFc += " from a master";
    }
    if ((telegram.byFc & 0x80) != 0)
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
