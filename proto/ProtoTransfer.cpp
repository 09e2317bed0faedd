// Reads, writes and connection tests: one batch addresses one slave, is served from (or
// composed into) the host's image buffers in one pass, and touches the board at most twice.
#include "dpcomm/DPCommunication.h"
#include "proto/ImageByteOrder.h"
#include "proto/MovaProto.h"
#include "trace/TraceApi.h"

#include <cstring>

namespace
{

// DP slave addresses run from 0 to 125: the board writes the status of these entries of the
// host's slave table only. Entries 126 and 127 would give back whatever the host left there.
constexpr std::uint32_t kSlaveTableAddresses = 126;
static_assert(kSlaveTableAddresses <= kSlaveTableEntries);

bool IsBit(const SJobParam& record)
{
    return record.wBitLength == 1;
}

std::uint32_t ByteCount(const SJobParam& record)
{
    return (record.wBitLength + 7u) / 8u;
}

std::uint32_t ImagePosition(const SJobParam& record)
{
    return IsBit(record) ? record.wByteOffset + record.wBitOffset / 8u : record.wByteOffset;
}

bool FitsImage(const SJobParam& record, std::uint32_t dwImageLength)
{
    std::uint32_t dwNeeded =
        IsBit(record) ? ImagePosition(record) + 1 : ImagePosition(record) + ByteCount(record);
    return dwNeeded <= dwImageLength;
}

std::uint8_t BitMask(const SJobParam& record)
{
    return static_cast<std::uint8_t>(1u << (record.wBitOffset % 8u));
}

// Only 16-, 32- and 64-bit values have a byte order to convert; false for any other length.
bool ConvertByteOrder(unsigned char* pValue, std::uint16_t wBitLength)
{
    if (wBitLength != 16 && wBitLength != 32 && wBitLength != 64)
        return false;
    byteorder::NetworkToHost(pValue, wBitLength / 8);
    return true;
}

} // namespace

std::int32_t MOVA_CALL CMovaProto::Read(SJobParam* pPara, std::uint32_t dwCount)
{
    const char* pszLabel = "CMovaProto::Read()";
    TraceEntry(pszLabel);
    if (!pPara)
        return MOVA_RESULT_NULL_POINTER;
    // Opened through the job, this cannot happen; a host driving us directly gets a refusal.
    if (!m_pDPComm)
    {
        TraceLine(m_pTracer, -2, "CMovaProto::Read: not opened\n");
        return MOVAPROTO_NOT_OPEN;
    }

    const SJobParam& first = pPara[0];
    bool bReadOk = true;
    teErrorNumber eError = DPERR_NONE;
    if (first.tsConSpec.lpvBufferIn)
    {
        teErrorNumber eCall = DPERR_NONE;
        if (!m_pDPComm->ReadFromDPSlave(first.tsConSpec.byL2Addr, first.tsConSpec.lpvBufferIn,
                                        &eCall))
        {
            bReadOk = false;
            eError = eCall;
            TraceLine(m_pTracer, -2, "CMovaProto::Read: ReadFromDPSlave(teErrorNumber = %d)\n",
                      static_cast<int>(eCall));
        }
    }
    if (first.tsConSpec.lpvBufferOut)
    {
        teErrorNumber eCall = DPERR_NONE;
        if (!m_pDPComm->ReadOutForDPSlave(first.tsConSpec.byL2Addr, first.tsConSpec.lpvBufferOut,
                                          &eCall))
        {
            bReadOk = false;
            eError = eCall;
            TraceLine(m_pTracer, -2, "CMovaProto::Read: ReadLocalOutBuffer(teErrorNumber = %d)\n",
                      static_cast<int>(eCall));
        }
    }

    std::int32_t lOutcome = bReadOk ? MOVA_RESULT_DONE : MOVA_RESULT_BOARD_BASE - eError;
    std::int32_t lResult = MOVA_RESULT_DONE;
    bool bAnyInRange = false;
    for (std::uint32_t i = 0; i < dwCount; ++i)
    {
        if (ReadVariable(pPara[i], first, lOutcome))
            lResult = lOutcome;
        bAnyInRange = bAnyInRange || pPara[i].lResult != MOVA_RESULT_OUTSIDE_IMAGE;
    }
    // Records without buffers do not take the board's result, but a failed board call must
    // not come out as success for a batch that had variables to read.
    if (!bReadOk && bAnyInRange)
        lResult = lOutcome;
    TraceExit(pszLabel, "");
    return lResult;
}

bool CMovaProto::ReadVariable(SJobParam& record, const SJobParam& first, std::int32_t lOutcome)
{
    bool bOutputs = record.bOutBuffer != 0;
    std::uint32_t dwImageLength = bOutputs ? record.tsConSpec.wLenOut : record.tsConSpec.wLenIn;
    auto* pImage = static_cast<unsigned char*>(bOutputs ? first.tsConSpec.lpvBufferOut
                                                        : first.tsConSpec.lpvBufferIn);
    if (!FitsImage(record, dwImageLength))
    {
        record.lResult = MOVA_RESULT_OUTSIDE_IMAGE;
        return false;
    }
    // Nothing was read for this record, so it must not say "done".
    if (!record.pData || !pImage)
    {
        TraceLine(m_pTracer, -2,
                  "CMovaProto::Read: pPara->pData == NULL || pbyBuffer + pPara->wByteOffset == "
                  "NULL\n");
        record.lResult = MOVA_RESULT_NULL_POINTER;
        return false;
    }

    auto* pValue = static_cast<unsigned char*>(record.pData);
    if (IsBit(record))
    {
        // A set bit reads as its weight in the byte.
        std::uint16_t wBit = pImage[ImagePosition(record)] & BitMask(record);
        std::memcpy(pValue, &wBit, sizeof wBit);
    }
    else
    {
        std::memcpy(pValue, pImage + record.wByteOffset, ByteCount(record));
        if (record.bSwap && !ConvertByteOrder(pValue, record.wBitLength))
            TraceLine(m_pTracer, -2, "CMovaProto::Read: how to swap %d bytes?\n",
                      record.wBitLength / 8);
    }
    record.lResult = lOutcome;
    return true;
}

std::int32_t MOVA_CALL CMovaProto::Write(SJobParam* pPara, std::uint32_t dwCount)
{
    const char* pszLabel = "CMovaProto::Write()";
    TraceEntry(pszLabel);
    if (!pPara)
        return MOVA_RESULT_NULL_POINTER;
    if (!m_pDPComm)
    {
        TraceLine(m_pTracer, -2, "CMovaProto::Write: not opened\n");
        return MOVAPROTO_NOT_OPEN;
    }

    const SJobParam& first = pPara[0];
    if (first.tsConSpec.lpvBufferOut)
        for (std::uint32_t i = 0; i < dwCount; ++i)
            ComposeVariable(pPara[i]);

    bool bSent = false;
    teErrorNumber eError = DPERR_NONE;
    std::int32_t lExtra = 0;
    if (first.tsConSpec.lpvBufferOut)
    {
        bSent = m_pDPComm->WriteToDPSlave(first.tsConSpec.byL2Addr,
                                          static_cast<std::uint8_t>(first.tsConSpec.wLenOut),
                                          first.tsConSpec.lpvBufferOut, &eError);
        if (!bSent)
            TraceLine(m_pTracer, -2, "CMovaProto::Write: WriteToDPSlave(teErrorNumber = %d)\n",
                      static_cast<int>(eError));
    }
    else
    {
        TraceLine(m_pTracer, -2, "CMovaProto::Write: lpvBufferOut = '%d'\n", 0);
        lExtra = 60;
    }

    std::int32_t lResult = MOVA_RESULT_DONE;
    if (!bSent)
    {
        std::int32_t lFailure = MOVA_RESULT_BOARD_BASE - eError - lExtra;
        for (std::uint32_t i = 0; i < dwCount; ++i)
            pPara[i].lResult = lFailure;
        if (dwCount != 0)
            lResult = lFailure;
    }
    TraceExit(pszLabel, "");
    return lResult;
}

void CMovaProto::ComposeVariable(SJobParam& record)
{
    record.lResult = MOVA_RESULT_DONE;
    if (!FitsImage(record, record.tsConSpec.wLenOut))
    {
        record.lResult = MOVA_RESULT_OUTSIDE_IMAGE;
        return;
    }
    auto* pImage = static_cast<unsigned char*>(record.tsConSpec.lpvBufferOut);
    auto* pValue = static_cast<unsigned char*>(record.pData);
    if (!pValue || !pImage)
    {
        TraceLine(m_pTracer, -2,
                  "CMovaProto::Write: (BYTE *) pPara->tsConSpec.lpvBufferOut) + "
                  "pPara->wByteOffset == NULL || (BYTE *) pPara->pData == NULL\n");
        record.lResult = MOVA_RESULT_NULL_POINTER;
        return;
    }

    if (IsBit(record))
    {
        std::uint16_t wBit = 0;
        std::memcpy(&wBit, pValue, sizeof wBit);
        unsigned char& byTarget = pImage[ImagePosition(record)];
        byTarget = wBit ? byTarget | BitMask(record) : byTarget & ~BitMask(record);
        return;
    }
    // The host's value buffer keeps the converted form: it is converted in place.
    if (record.bSwap && !ConvertByteOrder(pValue, record.wBitLength))
        TraceLine(m_pTracer, -2, "CMovaProto::ReadOut: how to swap %d bytes?\n",
                  record.wBitLength / 8);
    std::memcpy(pImage + record.wByteOffset, pValue, ByteCount(record));
}

std::int32_t MOVA_CALL CMovaProto::TestConnection(SJobParam* pPara)
{
    if (!pPara)
        return MOVA_RESULT_NULL_POINTER;
    if (!m_pDPComm || !m_pCommParams)
    {
        TraceLine(m_pTracer, -2, "CMovaProto::TestConnection: not opened\n");
        return MOVAPROTO_NOT_OPEN;
    }
    std::uint8_t byAddr = pPara->tsConSpec.byL2Addr;
    // The test refreshes the whole table, so it is made whatever the address.
    teErrorNumber eError = DPERR_NONE;
    bool bTested = m_pDPComm->TestDPConnections(m_pCommParams->aSlaves, &eError);
    if (!bTested)
        TraceChecked(m_pTracer, 99,
                     "CMovaProto::TestConnection: TestDPConnections(teErrorNumber = %d)\n",
                     static_cast<int>(eError));
    if (byAddr >= kSlaveTableAddresses)
    {
        TraceLine(m_pTracer, -2,
                  "CMovaProto::TestConnection: L2Addr = %d lies outside the slave table\n", byAddr);
        return MOVA_RESULT_ADDRESS_OUTSIDE_TABLE;
    }
    // A board that refused the state list left the table as it was: its status is stale.
    if (!bTested && !m_pDPComm->LastTestRefreshedStates())
        return MOVA_RESULT_BOARD_BASE - eError;
    std::uint16_t wState = m_pCommParams->aSlaves[byAddr].wState;
    if (wState == DPERR_SLAVE_STATE_2 || wState == DPERR_SLAVE_STATE_3)
        return MOVA_RESULT_DONE;
    return bTested ? -static_cast<std::int32_t>(wState) : MOVA_RESULT_BOARD_BASE - eError;
}
