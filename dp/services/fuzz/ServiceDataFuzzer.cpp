// libFuzzer target: any bytes as the data of Set_Prm, Slave_Diag (with its extended blocks),
// Chk_Cfg and Global_Control. What a decoder accepts must encode back to the very bytes it
// came from; the block and identifier walks must end, stay inside the bytes and account for
// every byte they pass.
//
//   build/dev/dp/service_data_fuzzer -max_total_time=600 CORPUS_DIR
#include "dp/services/ServiceData.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbyData, std::size_t nSize)
{
    const dp::ByteView bytes(pbyData, nSize);
    CheckSetPrm(bytes);
    CheckSlaveDiag(bytes);
    CheckConfig(bytes);
    CheckGlobalControl(bytes);
    return 0;
}
