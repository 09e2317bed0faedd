/*
 * Compiled as C: the C view of the public headers, used as a C host uses it. The slot tables
 * are checked against the slot numbers at compile time; the C++ test checks that calls
 * through them arrive at the right C++ slot with the right arguments, and back.
 */
#include "CBinding.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#define SLOT_CHECK(vtbl, slot, number)                                                             \
    typedef char                                                                                   \
        slot_check_##vtbl##_##slot[offsetof(vtbl, slot) == (number) * sizeof(void*) ? 1 : -1]

SLOT_CHECK(IJobNotifyVtbl, QueryInterface, 0);
SLOT_CHECK(IJobNotifyVtbl, AddRef, 1);
SLOT_CHECK(IJobNotifyVtbl, Release, 2);
SLOT_CHECK(IJobNotifyVtbl, GetVersion, 3);
SLOT_CHECK(IJobNotifyVtbl, OnPutJobFinished, 4);
SLOT_CHECK(IJobNotifyVtbl, OnEnumJob, 5);
SLOT_CHECK(IMovaJobVtbl, QueryInterface, 0);
SLOT_CHECK(IMovaJobVtbl, AddRef, 1);
SLOT_CHECK(IMovaJobVtbl, Release, 2);
SLOT_CHECK(IMovaJobVtbl, GetVersion, 3);
SLOT_CHECK(IMovaJobVtbl, OpenJob, 4);
SLOT_CHECK(IMovaJobVtbl, CloseJob, 5);
SLOT_CHECK(IMovaJobVtbl, PutJob, 6);
SLOT_CHECK(IMovaJobVtbl, SetJobNotification, 7);
SLOT_CHECK(IMovaJobVtbl, GetProto, 8);
SLOT_CHECK(IMovaJobVtbl, Reserved, 9);
SLOT_CHECK(IMovaJobVtbl, EnumJobQueue, 10);
SLOT_CHECK(IMovaProtoVtbl, QueryInterface, 0);
SLOT_CHECK(IMovaProtoVtbl, AddRef, 1);
SLOT_CHECK(IMovaProtoVtbl, Release, 2);
SLOT_CHECK(IMovaProtoVtbl, GetVersion, 3);
SLOT_CHECK(IMovaProtoVtbl, Open, 4);
SLOT_CHECK(IMovaProtoVtbl, Close, 5);
SLOT_CHECK(IMovaProtoVtbl, Read, 6);
SLOT_CHECK(IMovaProtoVtbl, Write, 7);
SLOT_CHECK(IMovaProtoVtbl, TestConnection, 8);
SLOT_CHECK(IMovaProtoVtbl, GetTransportLayer, 9);
typedef char slot_check_sizes[sizeof(IMovaJobVtbl) == 11 * sizeof(void*) &&
                                      sizeof(IMovaProtoVtbl) == 10 * sizeof(void*) &&
                                      sizeof(IJobNotifyVtbl) == 6 * sizeof(void*)
                                  ? 1
                                  : -1];

void CallEveryJobSlot(IMovaJob* pJob, char* pMarker, SJobAnswers* pAnswers)
{
    pAnswers->hrQueryInterface = IMovaJob_QueryInterface(pJob, &IID_IUnknown, &pAnswers->pQueried);
    pAnswers->ulAddRef = IMovaJob_AddRef(pJob);
    pAnswers->ulRelease = IMovaJob_Release(pJob);
    pAnswers->pszVersion = IMovaJob_GetVersion(pJob);
    pAnswers->lOpenJob =
        IMovaJob_OpenJob(pJob, (SProtoParams*)(pMarker + 1), (SCommParams*)(pMarker + 2), 7);
    pAnswers->lCloseJob = IMovaJob_CloseJob(pJob);
    pAnswers->lPutJob = IMovaJob_PutJob(pJob, 3, (SJobParam*)(pMarker + 3), 0xC0FFEEu);
    pAnswers->lSetJobNotification = IMovaJob_SetJobNotification(pJob, (IJobNotify*)(pMarker + 4));
    pAnswers->hrGetProto = IMovaJob_GetProto(pJob, &pAnswers->pProto);
    pAnswers->hrReserved = IMovaJob_Reserved(pJob, pMarker + 5);
    pAnswers->lEnumJobQueue = IMovaJob_EnumJobQueue(pJob, 0xFEEDu);
}

void CallEveryProtoSlot(IMovaProto* pProto, char* pMarker, SProtoAnswers* pAnswers)
{
    void* pQueried = NULL;
    CDPCommunication* pComm = NULL;
    pAnswers->hrQueryInterface = IMovaProto_QueryInterface(pProto, &IID_IUnknown, &pQueried);
    pAnswers->ulAddRef = IMovaProto_AddRef(pProto);
    pAnswers->ulRelease = IMovaProto_Release(pProto);
    pAnswers->pszVersion = IMovaProto_GetVersion(pProto);
    pAnswers->lOpen =
        IMovaProto_Open(pProto, (SProtoParams*)(pMarker + 1), (SCommParams*)(pMarker + 2));
    pAnswers->lClose = IMovaProto_Close(pProto);
    pAnswers->lRead = IMovaProto_Read(pProto, (SJobParam*)(pMarker + 3), 4);
    pAnswers->lWrite = IMovaProto_Write(pProto, (SJobParam*)(pMarker + 5), 6);
    pAnswers->lTestConnection = IMovaProto_TestConnection(pProto, (SJobParam*)(pMarker + 7));
    pAnswers->hrGetTransportLayer = IMovaProto_GetTransportLayer(pProto, &pComm);
}

typedef struct SCSink
{
    IJobNotify iface; /* first, so that the interface pointer is the sink's address */
    const char* pszVersion;
    char* pMarker;
    SCSinkLog log;
} SCSink;

static SCSink* SinkOf(IJobNotify* This)
{
    return (SCSink*)This;
}

static HRESULT MOVA_CALL SinkQueryInterface(IJobNotify* This, REFIID riid, void** ppvObject)
{
    (void)riid;
    SinkOf(This)->log.nQueryInterface++;
    *ppvObject = NULL;
    return E_NOINTERFACE;
}

static ULONG MOVA_CALL SinkAddRef(IJobNotify* This)
{
    return (ULONG)++SinkOf(This)->log.lReferences;
}

static ULONG MOVA_CALL SinkRelease(IJobNotify* This)
{
    return (ULONG)--SinkOf(This)->log.lReferences;
}

static const char* MOVA_CALL SinkGetVersion(IJobNotify* This)
{
    SinkOf(This)->log.nGetVersion++;
    return SinkOf(This)->pszVersion;
}

static int32_t MOVA_CALL SinkOnPutJobFinished(IJobNotify* This, uint32_t dwCount, SJobParam* pBuf,
                                              uint32_t dwContext)
{
    SCSink* pSink = SinkOf(This);
    pSink->log.adwFinished[0] = dwCount;
    pSink->log.adwFinished[1] = (uint32_t)((char*)pBuf - pSink->pMarker);
    pSink->log.adwFinished[2] = dwContext;
    return 0;
}

static int32_t MOVA_CALL SinkOnEnumJob(IJobNotify* This, uint32_t dwCount, SJobParam* pBuf,
                                       uint32_t dwContext, uint32_t dwValue)
{
    SCSink* pSink = SinkOf(This);
    pSink->log.adwEnum[0] = dwCount;
    pSink->log.adwEnum[1] = (uint32_t)((char*)pBuf - pSink->pMarker);
    pSink->log.adwEnum[2] = dwContext;
    pSink->log.adwEnum[3] = dwValue;
    return 1;
}

static const IJobNotifyVtbl kSinkVtbl = {SinkQueryInterface, SinkAddRef,           SinkRelease,
                                         SinkGetVersion,     SinkOnPutJobFinished, SinkOnEnumJob};

IJobNotify* CreateCSink(const char* pszVersion, char* pMarker)
{
    SCSink* pSink = (SCSink*)calloc(1, sizeof(SCSink));
    if (!pSink)
        return NULL;
    pSink->iface.lpVtbl = &kSinkVtbl;
    pSink->pszVersion = pszVersion;
    pSink->pMarker = pMarker;
    return &pSink->iface;
}

const SCSinkLog* GetCSinkLog(IJobNotify* pSink)
{
    return &SinkOf(pSink)->log;
}

void DestroyCSink(IJobNotify* pSink)
{
    free(SinkOf(pSink));
}

/* The documented answers of a job and a protocol object that were never opened. */
static const char* CheckJob(IMovaJob* pJob, char* pMarker)
{
    void* pUnknown = NULL;
    IMovaProto* pProto = (IMovaProto*)pMarker;
    IJobNotify* pWrongSink = CreateCSink("Mova Job V1.1", pMarker);
    IJobNotify* pSink = CreateCSink(MOVAJOB_VERSION, pMarker);
    const char* pszFailure = NULL;
    if (!pWrongSink || !pSink)
        pszFailure = "no memory for the sinks";
    else if (strcmp(IMovaJob_GetVersion(pJob), MOVAJOB_VERSION) != 0)
        pszFailure = "GetVersion is not MOVAJOB_VERSION";
    else if (IMovaJob_QueryInterface(pJob, &IID_IUnknown, &pUnknown) != S_OK || pUnknown == NULL ||
             pUnknown == (void*)pJob)
        pszFailure = "QueryInterface(IID_IUnknown) did not give the IUnknown base";
    else if (IUnknown_Release((IUnknown*)pUnknown) != 1)
        pszFailure = "Release through IUnknown did not lower the job's one count";
    else if (IMovaJob_Reserved(pJob, NULL) != E_NOTIMPL)
        pszFailure = "Reserved is not E_NOTIMPL";
    else if (IMovaJob_GetProto(pJob, &pProto) != E_NOINTERFACE || pProto != (IMovaProto*)pMarker)
        pszFailure = "GetProto before OpenJob is not E_NOINTERFACE with the pointer untouched";
    else if (IMovaJob_CloseJob(pJob) != MOVAJOB_CLOSE_NOT_OPEN)
        pszFailure = "CloseJob before OpenJob is not MOVAJOB_CLOSE_NOT_OPEN";
    else if (IMovaJob_PutJob(pJob, 1, (SJobParam*)pMarker, 0) != MOVAJOB_PUT_REFUSED)
        pszFailure = "PutJob before OpenJob is not MOVAJOB_PUT_REFUSED";
    else if (IMovaJob_SetJobNotification(pJob, pWrongSink) != MOVAJOB_NOTIFY_REFUSED ||
             GetCSinkLog(pWrongSink)->lReferences != 0)
        pszFailure = "a sink of another version was not refused untouched";
    else if (IMovaJob_SetJobNotification(pJob, pSink) != MOVAJOB_OK ||
             GetCSinkLog(pSink)->lReferences != 1)
        pszFailure = "the sink was not accepted with one reference";
    else if (IMovaJob_SetJobNotification(pJob, NULL) != MOVAJOB_OK ||
             GetCSinkLog(pSink)->lReferences != 0)
        pszFailure = "dropping the sink did not give its reference back";
    if (pWrongSink)
        DestroyCSink(pWrongSink);
    if (pSink)
        DestroyCSink(pSink);
    return pszFailure;
}

static const char* CheckProto(IMovaProto* pProto)
{
    SJobParam record;
    memset(&record, 0, sizeof record);
    if (strcmp(IMovaProto_GetVersion(pProto), MOVAPROTO_VERSION) != 0)
        return "the protocol object's GetVersion is not MOVAPROTO_VERSION";
    if (IMovaProto_Read(pProto, NULL, 1) != MOVA_RESULT_NULL_POINTER)
        return "Read of no records is not MOVA_RESULT_NULL_POINTER";
    if (IMovaProto_TestConnection(pProto, &record) != MOVA_RESULT_NOT_OPEN)
        return "TestConnection before Open is not MOVA_RESULT_NOT_OPEN";
    return NULL;
}

const char* CheckLibraryFromC(void)
{
    static char aMarker[8];
    IMovaJob* pJob = NULL;
    IMovaProto* pProto = NULL;
    const char* pszFailure = NULL;
    if (CreateIMovaJob(NULL) != MOVA_NOT_CREATED)
        return "CreateIMovaJob(NULL) is not MOVA_NOT_CREATED";
    if (CreateIMovaJob(&pJob) != MOVA_CREATED || !pJob)
        return "CreateIMovaJob is not MOVA_CREATED";
    pszFailure = CheckJob(pJob, aMarker);
    if (IMovaJob_Release(pJob) != 0 && !pszFailure)
        pszFailure = "the job's last Release is not 0";
    if (pszFailure)
        return pszFailure;

    if (CreateIMovaProto(&pProto) != MOVA_CREATED || !pProto)
        return "CreateIMovaProto is not MOVA_CREATED";
    pszFailure = CheckProto(pProto);
    if (IMovaProto_Release(pProto) != 0 && !pszFailure)
        pszFailure = "the protocol object's last Release is not 0";
    return pszFailure;
}
