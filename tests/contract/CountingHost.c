#include "CountingHost.h"

#include <stdlib.h>
#include <string.h>

/* The sink's own state, freed when the host lets go of the sink. */
typedef struct SSinkState
{
    IMovaJob* pJob;
    teDropInside eDropInside;
    int32_t nDropped; /* the sink dropped itself (atomic) */
} SSinkState;

struct SCountingSink
{
    IJobNotify iface; /* first: the job's pointer is the sink's */
    SSinkCounts* pCounts;
    SSinkState* pState; /* null once freed */
};

static void Count(int32_t* pnCount)
{
    __atomic_add_fetch(pnCount, 1, __ATOMIC_SEQ_CST);
}

int32_t ReadCount(const int32_t* pnCount)
{
    return __atomic_load_n(pnCount, __ATOMIC_SEQ_CST);
}

static SCountingSink* SinkOf(IJobNotify* This)
{
    return (SCountingSink*)This;
}

static HRESULT MOVA_CALL LiveQueryInterface(IJobNotify* This, REFIID riid, void** ppvObject)
{
    (void)riid;
    Count(&SinkOf(This)->pCounts->nQueryInterface);
    if (ppvObject)
        *ppvObject = NULL;
    return E_NOINTERFACE;
}

static ULONG MOVA_CALL LiveAddRef(IJobNotify* This)
{
    Count(&SinkOf(This)->pCounts->nAddRef);
    return 1;
}

static ULONG MOVA_CALL LiveRelease(IJobNotify* This)
{
    Count(&SinkOf(This)->pCounts->nRelease);
    return 1;
}

static const char* MOVA_CALL LiveGetVersion(IJobNotify* This)
{
    Count(&SinkOf(This)->pCounts->nGetVersion);
    return MOVAJOB_VERSION;
}

/* Drops the sink from inside a call into it, the first time the call is the chosen one. */
static void DropInside(SCountingSink* pSink, teDropInside eCall)
{
    SSinkState* pState = pSink->pState;
    int32_t nExpected = 0;
    if (pState->eDropInside != eCall ||
        !__atomic_compare_exchange_n(&pState->nDropped, &nExpected, 1, 0, __ATOMIC_SEQ_CST,
                                     __ATOMIC_SEQ_CST))
        return;
    Count(&pSink->pCounts->nDropsInside);
    IMovaJob_SetJobNotification(pState->pJob, NULL);
}

static int32_t MOVA_CALL LiveOnPutJobFinished(IJobNotify* This, uint32_t dwCount, SJobParam* pBuf,
                                              uint32_t dwContext)
{
    (void)dwCount;
    (void)pBuf;
    (void)dwContext;
    Count(&SinkOf(This)->pCounts->nOnPutJobFinished);
    DropInside(SinkOf(This), DropInReport);
    return 0;
}

static int32_t MOVA_CALL LiveOnEnumJob(IJobNotify* This, uint32_t dwCount, SJobParam* pBuf,
                                       uint32_t dwContext, uint32_t dwValue)
{
    (void)dwCount;
    (void)pBuf;
    (void)dwContext;
    (void)dwValue;
    Count(&SinkOf(This)->pCounts->nOnEnumJob);
    DropInside(SinkOf(This), DropInWalk);
    return 0;
}

static const IJobNotifyVtbl g_liveSlots = {LiveQueryInterface, LiveAddRef,           LiveRelease,
                                           LiveGetVersion,     LiveOnPutJobFinished, LiveOnEnumJob};

/* The slots of a freed sink: every call is one too many. */
static HRESULT MOVA_CALL FreedQueryInterface(IJobNotify* This, REFIID riid, void** ppvObject)
{
    (void)riid;
    (void)ppvObject;
    Count(&SinkOf(This)->pCounts->nCallsAfterFree);
    return E_NOINTERFACE;
}

static ULONG MOVA_CALL FreedAddRefOrRelease(IJobNotify* This)
{
    Count(&SinkOf(This)->pCounts->nCallsAfterFree);
    return 0;
}

static const char* MOVA_CALL FreedGetVersion(IJobNotify* This)
{
    Count(&SinkOf(This)->pCounts->nCallsAfterFree);
    return "";
}

static int32_t MOVA_CALL FreedOnPutJobFinished(IJobNotify* This, uint32_t dwCount, SJobParam* pBuf,
                                               uint32_t dwContext)
{
    (void)dwCount;
    (void)pBuf;
    (void)dwContext;
    Count(&SinkOf(This)->pCounts->nCallsAfterFree);
    return 0;
}

static int32_t MOVA_CALL FreedOnEnumJob(IJobNotify* This, uint32_t dwCount, SJobParam* pBuf,
                                        uint32_t dwContext, uint32_t dwValue)
{
    (void)dwCount;
    (void)pBuf;
    (void)dwContext;
    (void)dwValue;
    Count(&SinkOf(This)->pCounts->nCallsAfterFree);
    return 0;
}

static const IJobNotifyVtbl g_freedSlots = {FreedQueryInterface,   FreedAddRefOrRelease,
                                            FreedAddRefOrRelease,  FreedGetVersion,
                                            FreedOnPutJobFinished, FreedOnEnumJob};

SCountingSink* RegisterCountingSink(IMovaJob* pJob, SSinkCounts* pCounts, teDropInside eDropInside,
                                    int32_t* plResult)
{
    SCountingSink* pSink = (SCountingSink*)malloc(sizeof *pSink);
    SSinkState* pState = (SSinkState*)malloc(sizeof *pState);
    if (!pSink || !pState)
    {
        free(pSink);
        free(pState);
        return NULL;
    }
    memset(pCounts, 0, sizeof *pCounts);
    pState->pJob = pJob;
    pState->eDropInside = eDropInside;
    pState->nDropped = 0;
    pSink->iface.lpVtbl = &g_liveSlots;
    pSink->pCounts = pCounts;
    pSink->pState = pState;
    *plResult = IMovaJob_SetJobNotification(pJob, &pSink->iface);
    return pSink;
}

/* The state goes at once; the sink itself stays, with slots that count, so that a late call
 * is seen in every build (a call into the freed state is also seen by AddressSanitizer, and a
 * call racing with the freeing by ThreadSanitizer). The sinks are few and small. */
static void FreeSink(SCountingSink* pSink)
{
    free(pSink->pState);
    pSink->pState = NULL;
    pSink->iface.lpVtbl = &g_freedSlots;
}

int32_t DropAndFreeCountingSink(SCountingSink* pSink)
{
    int32_t lResult = IMovaJob_SetJobNotification(pSink->pState->pJob, NULL);
    FreeSink(pSink);
    return lResult;
}

int IsCountingSinkReleased(SCountingSink* pSink)
{
    return __atomic_load_n(&pSink->pState->nDropped, __ATOMIC_SEQ_CST) != 0 &&
           ReadCount(&pSink->pCounts->nRelease) != 0;
}

void FreeCountingSink(SCountingSink* pSink)
{
    FreeSink(pSink);
}

void DisposeCountingSink(SCountingSink* pSink)
{
    if (pSink->pState)
        FreeSink(pSink);
    free(pSink);
}
