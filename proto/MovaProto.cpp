// Creating, opening, closing and destroying the protocol object.
#include "proto/MovaProto.h"

#include "dpcomm/DPCommunication.h"
#include "trace/SessionNames.h"
#include "trace/TraceApi.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace
{

} // namespace

CMovaProto::CMovaProto() : m_ProtoParams{}, m_pCommParams(nullptr), m_pDPComm(nullptr)
{
    m_pTracer =
        CreateTracer(tracenames::kProtoSession, tracenames::kProtoWindowClass, TIMESTAMP_CLOCK, 0);
    m_ProtoParams.dwSize = sizeof(SProtoParams);
    TraceExit("CMovaProto::CMovaProto()", "o.k.");
}

CMovaProto::~CMovaProto()
{
    TraceEntry("CMovaProto::~CMovaProto()");
    if (m_pDPComm)
    {
        teErrorNumber eError = DPERR_NONE;
        if (!m_pDPComm->ExitDPCommunication(&eError))
            TraceLine(m_pTracer, -2,
                      "CMovaProto::~CMovaProto: ExitDPCommunication(teErrorNumber = %d)\n",
                      static_cast<int>(eError));
        delete m_pDPComm;
        m_pDPComm = nullptr;
    }
    TraceChecked(m_pTracer, 1, "CMovaProto::~CMovaProto:   good bye ...\n");
    DeleteTracer(m_pTracer);
    m_pTracer = nullptr;
}

const char* MOVA_CALL CMovaProto::GetVersion()
{
    return kMovaProtoVersion;
}

std::int32_t MOVA_CALL CMovaProto::Open(SProtoParams* pProtoParams, SCommParams* pCommParams)
{
    const char* pszLabel = "CMovaProto::Open()";
    // Without communication parameters there is no board to name the session after.
    if (!pCommParams)
        return MOVA_RESULT_NULL_POINTER;

    DeleteTracer(m_pTracer);
    char szTraceName[tracenames::kSessionNameSize];
    tracenames::ComposeBoardSession(szTraceName, tracenames::kProtoSession,
                                    static_cast<int>(pCommParams->Board));
    m_pTracer = CreateTracer(szTraceName, tracenames::kProtoWindowClass, TIMESTAMP_CLOCK, 0);
    if (!m_pTracer)
        return MOVAPROTO_OPEN_REFUSED;
    TraceEntry(pszLabel);
    if (!pProtoParams)
        return MOVA_RESULT_NULL_POINTER;

    std::memcpy(&m_ProtoParams, pProtoParams, sizeof m_ProtoParams);
    m_pCommParams = pCommParams;
    TraceChecked(m_pTracer, 10,
                 "CMovaProto::Open: \n   SProtoParams: dwSize = %d, byTimeCheckConnection = %d\n"
                 "   SCommParams: dwSize = %d, Board = %d, byTimeWatchdog = %d, "
                 "ucNumberOfDPSlaves = %d, nMaxMsg = %d\n",
                 static_cast<int>(m_ProtoParams.dwSize), m_ProtoParams.byTimeCheckConnection,
                 static_cast<int>(pCommParams->dwSize), static_cast<int>(pCommParams->Board),
                 pCommParams->byTimeWatchdog, pCommParams->ucNumberOfDPSlaves,
                 static_cast<int>(pCommParams->nMaxMsg));

    if (!m_pDPComm)
    {
        m_pDPComm = new (std::nothrow)
            CDPCommunication(static_cast<std::uint8_t>(pCommParams->Board & 0xFF));
        if (!m_pDPComm)
        {
            TraceLine(m_pTracer, -2, "CMovaProto::Open: new CDPCommunication\n");
            TraceExit(pszLabel, "error");
            return MOVAPROTO_OPEN_REFUSED;
        }
    }
    teErrorNumber eError = DPERR_NONE;
    if (m_pDPComm->InitDPCommunication(pCommParams->ucNumberOfDPSlaves, pCommParams->aSlaves,
                                       pCommParams->byTimeWatchdog, &eError))
    {
        TraceExit(pszLabel, "o.k.");
        return MOVAPROTO_OK;
    }
    TraceLine(m_pTracer, -2, "CMovaProto::Open: InitDPCommunication(teErrorNumber = %d)\n",
              static_cast<int>(eError));
    TraceExit(pszLabel, "error");
    return MOVAJOB_OPEN_BOARD_ERROR(eError);
}

std::int32_t MOVA_CALL CMovaProto::Close()
{
    TraceEntry("CMovaProto::Close()");
    if (m_pDPComm)
    {
        teErrorNumber eError = DPERR_NONE;
        if (!m_pDPComm->ExitDPCommunication(&eError))
            TraceLine(m_pTracer, -2, "CMovaProto::Close: ExitDPCommunication(teErrorNumber = %d)\n",
                      static_cast<int>(eError));
    }
    // The host's SCommParams need stay in place only while the object is open: a later
    // TestConnection must not write the slave states into a record the host may have freed.
    m_pCommParams = nullptr;
    TraceExit("CMovaProto::Close()", "o.k.");
    return MOVAPROTO_OK;
}

HRESULT MOVA_CALL CMovaProto::GetTransportLayer(CDPCommunication** ppDPComm)
{
    const char* pszLabel = "CMovaProto::GetTransportLayer()";
    TraceEntry(pszLabel);
    // No place for the answer is answered like a missing one, never with a crash.
    if (!ppDPComm)
    {
        TraceExit(pszLabel, "error");
        return E_POINTER;
    }
    if (!m_pDPComm)
    {
        TraceExit(pszLabel, "error");
        return E_NOINTERFACE;
    }
    *ppDPComm = m_pDPComm;
    TraceExit(pszLabel, "o.k.");
    return S_OK;
}

void CMovaProto::TraceEntry(const char* pszLabel)
{
    TraceChecked(m_pTracer, 100, "%s: Entering function\n", pszLabel);
}

void CMovaProto::TraceExit(const char* pszLabel, const char* pszOutcome)
{
    TraceChecked(m_pTracer, 100, "%s: Exiting function (%s)\n", pszLabel, pszOutcome);
}
