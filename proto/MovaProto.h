// The protocol object: opens the DP communication with the host's records and turns batches
// of records into bit and byte reads and writes of one slave's process images.
#pragma once

#include "core/Unknown.h"
#include "include/MovaJob.h"

class CTracer;

class CMovaProto : public IMovaProto, public virtual CUnknown
{
public:
    CMovaProto();
    ~CMovaProto() override;

    HRESULT MOVA_CALL QueryInterface(REFIID riid, void** ppvObject) override
    {
        return CUnknown::QueryInterface(riid, ppvObject);
    }
    ULONG MOVA_CALL AddRef() override { return CUnknown::AddRef(); }
    ULONG MOVA_CALL Release() override { return CUnknown::Release(); }

    const char* MOVA_CALL GetVersion() override;
    std::int32_t MOVA_CALL Open(SProtoParams* pProtoParams, SCommParams* pCommParams) override;
    std::int32_t MOVA_CALL Close() override;
    std::int32_t MOVA_CALL Read(SJobParam* pPara, std::uint32_t dwCount) override;
    std::int32_t MOVA_CALL Write(SJobParam* pPara, std::uint32_t dwCount) override;
    std::int32_t MOVA_CALL TestConnection(SJobParam* pPara) override;
    HRESULT MOVA_CALL GetTransportLayer(CDPCommunication** ppDPComm) override;

private:
    void TraceEntry(const char* pszLabel);
    void TraceExit(const char* pszLabel, const char* pszOutcome);
    // Fills one record from the image snapshot; false when its result does not count for the
    // batch (outside the image, or nowhere to read from or to).
    bool ReadVariable(SJobParam& record, const SJobParam& first, std::int32_t lOutcome);
    void ComposeVariable(SJobParam& record);

    SProtoParams m_ProtoParams;
    SCommParams* m_pCommParams;
    CDPCommunication* m_pDPComm;
    CTracer* m_pTracer;
};
