#include "dp/fdl/Telegram.h"

#include <cstring>

namespace dp
{

bool SameTelegram(const STelegram& first, const STelegram& second)
{
    return first.eFrame == second.eFrame && first.byDa == second.byDa &&
           first.bySa == second.bySa && first.byFc == second.byFc &&
           first.bHasDsap == second.bHasDsap && first.bHasSsap == second.bHasSsap &&
           first.byDsap == second.byDsap && first.bySsap == second.bySsap &&
           first.byDataLength == second.byDataLength &&
           std::memcmp(first.abyData, second.abyData, first.byDataLength) == 0;
}

std::uint8_t FrameCheckSum(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    unsigned uSum = 0;
    for (std::size_t i = 0; i < nCount; ++i)
        uSum += pbyBytes[i];
    return static_cast<std::uint8_t>(uSum);
}

teFrame FrameForDataUnits(std::size_t nDataUnits)
{
    return nDataUnits == 0 ? teFrame::Sd1 : teFrame::Sd2;
}

std::size_t TelegramSize(teFrame eFrame, std::size_t nDataUnits)
{
    switch (eFrame)
    {
    case teFrame::Sd1:
        return kSd1Size;
    case teFrame::Sd2:
        return kSd2Overhead + nDataUnits;
    case teFrame::Sd3:
        return kSd3Size;
    case teFrame::Sd4:
        return kSd4Size;
    case teFrame::ShortAck:
        return kShortAckSize;
    }
    return 0;
}

std::size_t EncodeTelegram(const STelegram& telegram, std::uint8_t* pbyOut, std::size_t nCapacity)
{
    const std::size_t nUnits = telegram.DataUnits();
    const std::size_t nSize = TelegramSize(telegram.eFrame, nUnits);
    if (nSize > nCapacity || telegram.byDa > kBroadcastAddress || telegram.bySa > kBroadcastAddress)
        return 0;
    if (telegram.eFrame == teFrame::ShortAck)
    {
        pbyOut[0] = kShortAck;
        return kShortAckSize;
    }
    if (telegram.eFrame == teFrame::Sd4)
    {
        pbyOut[0] = kSd4;
        pbyOut[1] = telegram.byDa;
        pbyOut[2] = telegram.bySa;
        return kSd4Size;
    }
    if ((telegram.eFrame == teFrame::Sd1 && nUnits != 0) ||
        (telegram.eFrame == teFrame::Sd3 && nUnits != kSd3DataUnits) ||
        (telegram.eFrame == teFrame::Sd2 && nUnits > kMaxDataUnits))
        return 0;

    std::size_t nHeader = 0;
    if (telegram.eFrame == teFrame::Sd2)
    {
        const auto byLe = static_cast<std::uint8_t>(kAddressFcBytes + nUnits);
        pbyOut[0] = kSd2;
        pbyOut[1] = byLe;
        pbyOut[2] = byLe;
        pbyOut[3] = kSd2;
        nHeader = kSd2HeaderBytes;
    }
    else
    {
        pbyOut[0] = telegram.eFrame == teFrame::Sd1 ? kSd1 : kSd3;
        nHeader = 1;
    }
    std::uint8_t* pbyBody = pbyOut + nHeader; // DA, SA, FC, units: what the FCS covers
    std::size_t n = 0;
    pbyBody[n++] =
        static_cast<std::uint8_t>(telegram.byDa | (telegram.bHasDsap ? kAddressExtension : 0));
    pbyBody[n++] =
        static_cast<std::uint8_t>(telegram.bySa | (telegram.bHasSsap ? kAddressExtension : 0));
    pbyBody[n++] = telegram.byFc;
    if (telegram.bHasDsap)
        pbyBody[n++] = telegram.byDsap;
    if (telegram.bHasSsap)
        pbyBody[n++] = telegram.bySsap;
    std::memcpy(pbyBody + n, telegram.abyData, telegram.byDataLength);
    n += telegram.byDataLength;
    pbyBody[n] = FrameCheckSum(pbyBody, n);
    pbyBody[n + 1] = kEndDelimiter;
    return nHeader + n + kTrailerBytes;
}

} // namespace dp
