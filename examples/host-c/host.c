/*
 * A MovaJob host in C: opens a job on board 1 (or the board given as its only argument)
 * of the simulated board, writes a 32-bit value into slave 3's outputs and reads it back from
 * its inputs (slave 3 of the default plant mirrors its outputs), tests the connections of
 * slaves 3, 4 and 5, and closes. Each batch is posted with PutJob and waited for until the
 * sink's OnPutJobFinished has run.
 *
 * Exits 0 when everything went as expected, 1 otherwise.
 */
#if !defined(_WIN32) && !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L /* clock_gettime in strict C99 */
#endif

#include <MovaJob.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <pthread.h>
#include <time.h>
#endif

#define SLAVE_LOOPBACK 3
/* Image buffers must hold the whole image the board hands over: up to 255 bytes. */
#define IMAGE_BYTES 255

/* ---- a "batch finished" signal, set on the job's worker thread, waited for on ours ---- */

typedef struct SFinished
{
#ifdef _WIN32
    HANDLE hEvent;
#else
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    int bSet;
#endif
    uint32_t dwContext;
} SFinished;

static void FinishedInit(SFinished* pFinished)
{
#ifdef _WIN32
    pFinished->hEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
#else
    pthread_mutex_init(&pFinished->mutex, NULL);
    pthread_cond_init(&pFinished->cond, NULL);
    pFinished->bSet = 0;
#endif
}

static void FinishedSet(SFinished* pFinished, uint32_t dwContext)
{
#ifdef _WIN32
    pFinished->dwContext = dwContext;
    SetEvent(pFinished->hEvent);
#else
    pthread_mutex_lock(&pFinished->mutex);
    pFinished->dwContext = dwContext;
    pFinished->bSet = 1;
    pthread_cond_signal(&pFinished->cond);
    pthread_mutex_unlock(&pFinished->mutex);
#endif
}

/* Waits at most 5 seconds; returns the finished batch's context, or 0 on timeout. */
static uint32_t FinishedWait(SFinished* pFinished)
{
#ifdef _WIN32
    if (WaitForSingleObject(pFinished->hEvent, 5000) != WAIT_OBJECT_0)
        return 0;
    return pFinished->dwContext;
#else
    uint32_t dwContext = 0;
    struct timespec deadline;
    int nWait = 0;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 5;
    pthread_mutex_lock(&pFinished->mutex);
    while (!pFinished->bSet && nWait != ETIMEDOUT)
        nWait = pthread_cond_timedwait(&pFinished->cond, &pFinished->mutex, &deadline);
    if (pFinished->bSet)
        dwContext = pFinished->dwContext;
    pFinished->bSet = 0;
    pthread_mutex_unlock(&pFinished->mutex);
    return dwContext;
#endif
}

/* ---- the host's sink: IJobNotify in the COM C binding ---- */

typedef struct SHostSink
{
    IJobNotify iface; /* first: the interface pointer is the sink's address */
    SFinished finished;
} SHostSink;

static HRESULT MOVA_CALL SinkQueryInterface(IJobNotify* This, REFIID riid, void** ppvObject)
{
    (void)This;
    (void)riid;
    *ppvObject = NULL;
    return E_NOINTERFACE; /* the library never asks */
}

/* The sink lives as long as the program: the references the job takes need no counting. */
static ULONG MOVA_CALL SinkAddRef(IJobNotify* This)
{
    (void)This;
    return 2;
}

static ULONG MOVA_CALL SinkRelease(IJobNotify* This)
{
    (void)This;
    return 1;
}

static const char* MOVA_CALL SinkGetVersion(IJobNotify* This)
{
    (void)This;
    return MOVAJOB_VERSION; /* the job accepts no sink of another version */
}

/* On the job's worker thread, once per executed batch; the records hold their results. */
static int32_t MOVA_CALL SinkOnPutJobFinished(IJobNotify* This, uint32_t dwCount, SJobParam* pBuf,
                                              uint32_t dwContext)
{
    (void)dwCount;
    (void)pBuf;
    FinishedSet(&((SHostSink*)This)->finished, dwContext);
    return 0;
}

static int32_t MOVA_CALL SinkOnEnumJob(IJobNotify* This, uint32_t dwCount, SJobParam* pBuf,
                                       uint32_t dwContext, uint32_t dwValue)
{
    (void)This;
    (void)dwCount;
    (void)pBuf;
    (void)dwContext;
    (void)dwValue;
    return 0; /* keep every waiting batch */
}

static const IJobNotifyVtbl kSinkVtbl = {SinkQueryInterface, SinkAddRef,           SinkRelease,
                                         SinkGetVersion,     SinkOnPutJobFinished, SinkOnEnumJob};

/* ---- the host ---- */

/* Posts one batch and waits until the sink reports it. */
static int RunBatch(IMovaJob* pJob, SHostSink* pSink, SJobParam* pRecords, uint32_t dwCount,
                    uint32_t dwContext)
{
    int32_t lPut = IMovaJob_PutJob(pJob, dwCount, pRecords, dwContext);
    if (lPut != MOVAJOB_OK)
    {
        printf("PutJob answered %d\n", (int)lPut);
        return 0;
    }
    if (FinishedWait(&pSink->finished) != dwContext)
    {
        printf("batch %u was not reported within 5 seconds\n", (unsigned)dwContext);
        return 0;
    }
    return 1;
}

/* The slave table holds a configured slave's lengths in the host's own entry. */
static const SConSpec* FindEntry(const SCommParams* pComm, uint8_t byAddress)
{
    int i;
    for (i = 0; i < pComm->ucNumberOfDPSlaves; ++i)
        if (pComm->aSlaves[i].byL2Addr == byAddress)
            return &pComm->aSlaves[i];
    return NULL;
}

static SJobParam Variable(uint32_t dwCommand, const SConSpec* pEntry, void* pInImage,
                          void* pOutImage, void* pValue)
{
    SJobParam record;
    memset(&record, 0, sizeof record);
    record.dwCommand = dwCommand;
    record.tsConSpec = *pEntry;
    record.tsConSpec.lpvBufferIn = pInImage;
    record.tsConSpec.lpvBufferOut = pOutImage;
    record.wByteOffset = 0;
    record.wBitLength = 32;
    record.bSwap = 1; /* big-endian in the image */
    record.pData = pValue;
    return record;
}

static int Exchange(IMovaJob* pJob, SHostSink* pSink, const SCommParams* pComm)
{
    static unsigned char abyIn[IMAGE_BYTES], abyOut[IMAGE_BYTES];
    const SConSpec* pEntry = FindEntry(pComm, SLAVE_LOOPBACK);
    uint32_t dwWritten = 0x12345678u, dwRead = 0;
    SJobParam write, read;
    SJobParam readOut;
    uint8_t byAny = 0;
    if (!pEntry)
        return 0;

    /* A write sends the slave's whole output image from abyOut: first the outputs the master
       holds for the slave go into it, or the slave's other outputs would become 0. */
    readOut = Variable(JobRead, pEntry, NULL, abyOut, &byAny);
    readOut.bOutBuffer = 1;
    readOut.wBitLength = 8;
    readOut.bSwap = 0;
    if (!RunBatch(pJob, pSink, &readOut, 1, 4) || readOut.lResult != MOVA_RESULT_DONE)
    {
        printf("read of the outputs: %s\n", MovaResultText(readOut.lResult));
        return 0;
    }

    write = Variable(JobWrite, pEntry, NULL, abyOut, &dwWritten);
    if (!RunBatch(pJob, pSink, &write, 1, 1) || write.lResult != MOVA_RESULT_DONE)
    {
        printf("write: %s\n", MovaResultText(write.lResult));
        return 0;
    }
    /* A swapped write turns the host's own value buffer around in place. */
    printf("wrote 0x12345678 to slave 3; the value buffer now holds 0x%08X\n", (unsigned)dwWritten);

    read = Variable(JobRead, pEntry, abyIn, NULL, &dwRead);
    if (!RunBatch(pJob, pSink, &read, 1, 2) || read.lResult != MOVA_RESULT_DONE)
    {
        printf("read: %s\n", MovaResultText(read.lResult));
        return 0;
    }
    printf("read back 0x%08X from slave 3\n", (unsigned)dwRead);
    return dwRead == 0x12345678u;
}

static int TestConnections(IMovaJob* pJob, SHostSink* pSink, const SCommParams* pComm)
{
    SJobParam tests[3];
    int i, bAll = 1;
    memset(tests, 0, sizeof tests);
    for (i = 0; i < 3; ++i)
    {
        tests[i].dwCommand = JobTestConn;
        tests[i].tsConSpec.byL2Addr = (uint8_t)(3 + i);
    }
    if (!RunBatch(pJob, pSink, tests, 3, 3))
        return 0;
    for (i = 0; i < 3; ++i)
    {
        uint8_t byAddress = tests[i].tsConSpec.byL2Addr;
        /* The status of a slave stands in the entry of its address. */
        printf("slave %u: %s (status %u: %s)\n", byAddress, MovaResultText(tests[i].lResult),
               pComm->aSlaves[byAddress].wState,
               MovaErrorNumberText(pComm->aSlaves[byAddress].wState));
        bAll = bAll && tests[i].lResult == MOVA_RESULT_DONE;
    }
    return bAll;
}

int main(int argc, char** argv)
{
    static SHostSink sink;
    static SCommParams comm; /* written by the library until the job is closed */
    SProtoParams proto;
    IMovaJob* pJob = NULL;
    int32_t lOpen, lClose;
    int bOk;
    int nBoard = argc > 1 ? atoi(argv[1]) : 1;

    sink.iface.lpVtbl = &kSinkVtbl;
    FinishedInit(&sink.finished);

    if (CreateIMovaJob(&pJob) != MOVA_CREATED)
    {
        printf("CreateIMovaJob failed\n");
        return 1;
    }
    printf("%s\n", IMovaJob_GetVersion(pJob));
    if (IMovaJob_SetJobNotification(pJob, &sink.iface) != MOVAJOB_OK)
    {
        printf("the job refused the sink\n");
        IMovaJob_Release(pJob);
        return 1;
    }

    proto.dwSize = sizeof proto;
    proto.byTimeCheckConnection = 0;
    comm.dwSize = sizeof comm;
    comm.Board = nBoard;
    comm.byTimeWatchdog = 0;
    comm.ucNumberOfDPSlaves = 3;
    comm.aSlaves[0].byL2Addr = 3;
    comm.aSlaves[1].byL2Addr = 4;
    comm.aSlaves[2].byL2Addr = 5;
    lOpen = IMovaJob_OpenJob(pJob, &proto, &comm, 0);
    if (lOpen != MOVAJOB_OK)
    {
        printf("OpenJob answered %d\n", (int)lOpen);
        IMovaJob_Release(pJob);
        return 1;
    }
    printf("board %d open; slave 3 has %u input and %u output bytes\n", nBoard,
           comm.aSlaves[0].wLenIn, comm.aSlaves[0].wLenOut);

    bOk = Exchange(pJob, &sink, &comm);
    bOk = TestConnections(pJob, &sink, &comm) && bOk;

    lClose = IMovaJob_CloseJob(pJob); /* drops the sink */
    if (IMovaJob_Release(pJob) != 0 || lClose != MOVAJOB_OK)
        bOk = 0;
    printf("%s\n", bOk ? "all done" : "FAILED");
    return bOk ? 0 : 1;
}
