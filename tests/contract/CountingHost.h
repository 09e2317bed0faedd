/*
 * A host written in C from the sink's call table alone: its sink counts every call the job
 * makes into it, and its Release does nothing but count (a static sink, as C hosts often have).
 * The host frees the sink's state as soon as the job has let go of the sink: at once when
 * SetJobNotification(NULL) returns outside a call into the host, and when the Release has come
 * when the sink was dropped inside a report or a walk. A freed sink counts every further call
 * as a call into freed memory (and its state is really freed, for the sanitizers).
 */
#ifndef MOVAJOB_TESTS_COUNTINGHOST_H
#define MOVAJOB_TESTS_COUNTINGHOST_H

#include "MovaJob.h"

#ifdef __cplusplus
extern "C"
{
#endif

    /* What the job did to one sink; outlives the sink. Read with the __atomic builtins. */
    typedef struct SSinkCounts
    {
        int32_t nQueryInterface;
        int32_t nAddRef;
        int32_t nRelease;
        int32_t nGetVersion;
        int32_t nOnPutJobFinished;
        int32_t nOnEnumJob;
        int32_t nCallsAfterFree;
        int32_t nDropsInside; /* drops made from inside a report or a walk */
    } SSinkCounts;

    /* When the sink drops itself from inside a call into it. */
    typedef enum teDropInside
    {
        DropNever,
        DropInReport, /* inside the first OnPutJobFinished */
        DropInWalk    /* inside the first OnEnumJob */
    } teDropInside;

    typedef struct SCountingSink SCountingSink;

    /* A sink registered with pJob (SetJobNotification's answer in *plResult). */
    SCountingSink* RegisterCountingSink(IMovaJob* pJob, SSinkCounts* pCounts,
                                        teDropInside eDropInside, int32_t* plResult);

    /* Drops the sink from outside any call into it and frees it at once. */
    int32_t DropAndFreeCountingSink(SCountingSink* pSink);

    /* Whether the sink dropped itself and the job's Release has come. */
    int IsCountingSinkReleased(SCountingSink* pSink);

    /* Frees a sink that dropped itself, once IsCountingSinkReleased. */
    void FreeCountingSink(SCountingSink* pSink);

    /* Gives back the memory of a freed sink, once the job can no longer call it. */
    void DisposeCountingSink(SCountingSink* pSink);

    int32_t ReadCount(const int32_t* pnCount);

#ifdef __cplusplus
}
#endif

#endif /* MOVAJOB_TESTS_COUNTINGHOST_H */
