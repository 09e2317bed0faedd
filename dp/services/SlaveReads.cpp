#include "dp/services/SlaveReads.h"

#include "dp/fdl/FunctionCodes.h"

#include <cstring>

namespace dp
{

std::uint8_t SlaveReadSap(teSlaveRead eRead)
{
    switch (eRead)
    {
    case teSlaveRead::Inputs:
        return kSapReadInputs;
    case teSlaveRead::Outputs:
        return kSapReadOutputs;
    case teSlaveRead::Config:
        return kSapGetConfig;
    }
    return kSapGetConfig;
}

const char* SlaveReadName(teSlaveRead eRead)
{
    switch (eRead)
    {
    case teSlaveRead::Inputs:
        return "RD_Inp";
    case teSlaveRead::Outputs:
        return "RD_Outp";
    case teSlaveRead::Config:
        return "Get_Cfg";
    }
    return "?";
}

STelegram SlaveReadRequest(teSlaveRead eRead, std::uint8_t bySlave, std::uint8_t byMaster,
                           bool bFcb, bool bFcv)
{
    STelegram request;
    request.eFrame = teFrame::Sd2; // the two SAP bytes are data units: never SD1
    request.byDa = bySlave;
    request.bySa = byMaster;
    request.byFc = RequestFc(ReqSrdHigh, bFcb, bFcv);
    request.bHasDsap = request.bHasSsap = true;
    request.byDsap = SlaveReadSap(eRead);
    request.bySsap = kSapMaster;
    return request;
}

teSlaveReadAnswer DecodeSlaveRead(teSlaveRead eRead, const STelegram& answer, ByteView& data)
{
    data = ByteView();
    if (answer.eFrame == teFrame::ShortAck || answer.eFrame == teFrame::Sd4 ||
        IsRequestFc(answer.byFc) || (answer.byFc & kFcReserved) != 0 ||
        (answer.byFc & kFcStationTypeMask) != kStationSlave)
        return teSlaveReadAnswer::Malformed;
    const std::uint8_t byCode = FcCode(answer.byFc);
    if (byCode != RespDataLow && byCode != RespDataHigh)
    {
        // A refusal carries nothing; one with data units is no refusal we know.
        return answer.DataUnits() == 0 ? teSlaveReadAnswer::NotServed
                                       : teSlaveReadAnswer::Malformed;
    }
    if (!answer.bHasDsap || !answer.bHasSsap || answer.byDsap != kSapMaster ||
        answer.bySsap != SlaveReadSap(eRead) || answer.byDataLength > kMaxDpDataBytes)
        return teSlaveReadAnswer::Malformed;
    const ByteView bytes(answer.abyData, answer.byDataLength);
    if (eRead == teSlaveRead::Config)
    {
        // A slave has a configuration of one identifier at least, and every one whole.
        CConfigReader reader(bytes);
        SConfigIdentifier identifier;
        while (reader.Next(identifier))
        {
        }
        if (bytes.empty() || reader.Error() != nullptr)
            return teSlaveReadAnswer::Malformed;
    }
    data = bytes;
    return teSlaveReadAnswer::Data;
}

bool EncodeSlaveReadAnswer(teSlaveRead eRead, const STelegram& request, ByteView data,
                           bool bHighPriority, STelegram& answer)
{
    if (data.size() > kMaxDpDataBytes)
        return false;
    answer = STelegram{};
    answer.eFrame = teFrame::Sd2;
    answer.byDa = request.bySa;
    answer.bySa = request.byDa;
    answer.byFc = ResponseFc(bHighPriority ? RespDataHigh : RespDataLow);
    answer.bHasDsap = answer.bHasSsap = true;
    answer.byDsap = kSapMaster;
    answer.bySsap = SlaveReadSap(eRead);
    answer.byDataLength = static_cast<std::uint8_t>(data.size());
    if (!data.empty())
        std::memcpy(answer.abyData, data.data(), data.size());
    return true;
}

} // namespace dp
