// libFuzzer target: any bytes as the data of Set_Prm, Slave_Diag (with its extended blocks),
// Chk_Cfg and Global_Control, and as an answer to RD_Inp, RD_Outp and Get_Cfg (the first bytes
// the answer's frame, function code and SAPs). What a decoder accepts must encode back to the
// very bytes it came from; the block and identifier walks must end, stay inside the bytes and
// account for every byte they pass.
//
//   build/dev/dp/service_data_fuzzer -max_total_time=600 CORPUS_DIR
#include "dp/services/ServiceData.h"
#include "dp/services/SlaveReads.h"

#include "dp/fdl/FunctionCodes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace
{

bool Same(dp::ByteView bytes, const std::uint8_t* pbyEncoded, std::size_t nEncoded)
{
    return nEncoded == bytes.size() && std::memcmp(pbyEncoded, bytes.data(), nEncoded) == 0;
}

bool Inside(dp::ByteView part, dp::ByteView whole)
{
    return part.empty() || (part.data() >= whole.data() &&
                            part.data() + part.size() <= whole.data() + whole.size());
}

void CheckSetPrm(dp::ByteView bytes)
{
    dp::SSetPrm prm;
    if (!dp::DecodeSetPrm(bytes, prm))
        return;
    std::uint8_t abyOut[dp::kPrmFixedBytes + dp::kMaxUserPrmBytes];
    if (!Same(bytes, abyOut, dp::EncodeSetPrm(prm, abyOut, sizeof abyOut)))
        std::abort();
}

void CheckSlaveDiag(dp::ByteView bytes)
{
    dp::SSlaveDiag diag;
    if (!dp::DecodeSlaveDiag(bytes, diag))
        return;
    std::uint8_t abyOut[dp::kMaxDiagBytes];
    if (!Same(bytes, abyOut, dp::EncodeSlaveDiag(diag, abyOut, sizeof abyOut)))
        std::abort();
    dp::CDiagBlockReader reader(diag.extended);
    dp::SDiagBlock block;
    std::size_t nBlocks = 0;
    while (reader.Next(block))
    {
        if (!Inside(block.content, diag.extended) || ++nBlocks > diag.extended.size())
            std::abort();
    }
}

void CheckConfig(dp::ByteView bytes)
{
    dp::CConfigReader reader(bytes);
    dp::SConfigIdentifier identifier;
    std::size_t nPassed = 0;
    while (reader.Next(identifier))
    {
        if (identifier.nSize == 0 || !Inside(identifier.maker, bytes))
            std::abort();
        nPassed += identifier.nSize;
    }
    // Either every byte was taken or the refusal names the byte the walk stopped at.
    if (reader.Error() == nullptr ? nPassed != bytes.size() : reader.ErrorAt() != nPassed)
        std::abort();
}

void CheckGlobalControl(dp::ByteView bytes)
{
    dp::SGlobalControl control;
    if (!dp::DecodeGlobalControl(bytes, control))
        return;
    std::uint8_t abyOut[dp::kGlobalControlBytes];
    if (!Same(bytes, abyOut, dp::EncodeGlobalControl(control, abyOut, sizeof abyOut)))
        std::abort();
}

// The answer as the line's parser hands it over: a frame, a function code, SAPs or not, the
// data behind them.
void CheckSlaveReads(dp::ByteView bytes)
{
    if (bytes.size() < 4)
        return;
    dp::STelegram answer;
    const dp::teFrame aFrames[] = {dp::teFrame::Sd1, dp::teFrame::Sd2, dp::teFrame::Sd3,
                                   dp::teFrame::Sd4, dp::teFrame::ShortAck};
    answer.eFrame = aFrames[bytes[0] % 5];
    answer.byDa = dp::kSapMaster;
    answer.bySa = 5;
    answer.byFc = bytes[1];
    answer.bHasDsap = (bytes[0] & 0x10) != 0;
    answer.bHasSsap = (bytes[0] & 0x20) != 0;
    answer.byDsap = bytes[2] & dp::kSapMask;
    answer.bySsap = bytes[3] & dp::kSapMask;
    const dp::ByteView data = bytes.subspan(4);
    answer.byDataLength = static_cast<std::uint8_t>(
        std::min<std::size_t>(data.size(), dp::kMaxDataUnits - answer.DataUnits()));
    std::memcpy(answer.abyData, data.data(), answer.byDataLength);
    dp::STelegram request;
    request.byDa = answer.bySa;
    request.bySa = answer.byDa;
    for (dp::teSlaveRead eRead :
         {dp::teSlaveRead::Inputs, dp::teSlaveRead::Outputs, dp::teSlaveRead::Config})
    {
        dp::ByteView taken;
        if (dp::DecodeSlaveRead(eRead, answer, taken) != dp::teSlaveReadAnswer::Data)
        {
            if (!taken.empty())
                std::abort();
            continue;
        }
        const dp::ByteView whole(answer.abyData, answer.byDataLength);
        dp::STelegram encoded;
        if (!Inside(taken, whole) || taken.size() > dp::kMaxDpDataBytes ||
            !dp::EncodeSlaveReadAnswer(eRead, request, taken,
                                       dp::FcCode(answer.byFc) == dp::RespDataHigh, encoded) ||
            encoded.byFc != answer.byFc || encoded.DataUnits() != answer.DataUnits() ||
            std::memcmp(encoded.abyData, answer.abyData, answer.byDataLength) != 0)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbyData, std::size_t nSize)
{
    const dp::ByteView bytes(pbyData, nSize);
    CheckSetPrm(bytes);
    CheckSlaveDiag(bytes);
    CheckConfig(bytes);
    CheckGlobalControl(bytes);
    CheckSlaveReads(bytes);
    return 0;
}
