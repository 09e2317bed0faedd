/*
 * The C side of the contract tests: code compiled as C99 that reaches objects through the C
 * view of the public headers. The C++ side includes this header too and sees the same names
 * as its own classes; the pointers are the same objects either way.
 */
#ifndef MOVAJOB_TESTS_CBINDING_H
#define MOVAJOB_TESTS_CBINDING_H

#include "MovaJob.h"

#ifdef __cplusplus
extern "C"
{
#endif

    /* What each slot answered when called through the C view. */
    typedef struct SJobAnswers
    {
        HRESULT hrQueryInterface;
        void* pQueried;
        ULONG ulAddRef;
        ULONG ulRelease;
        const char* pszVersion;
        int32_t lOpenJob;
        int32_t lCloseJob;
        int32_t lPutJob;
        int32_t lSetJobNotification;
        HRESULT hrGetProto;
        IMovaProto* pProto;
        HRESULT hrReserved;
        int32_t lEnumJobQueue;
    } SJobAnswers;

    typedef struct SProtoAnswers
    {
        HRESULT hrQueryInterface;
        ULONG ulAddRef;
        ULONG ulRelease;
        const char* pszVersion;
        int32_t lOpen;
        int32_t lClose;
        int32_t lRead;
        int32_t lWrite;
        int32_t lTestConnection;
        HRESULT hrGetTransportLayer;
    } SProtoAnswers;

    /* Calls every slot once, in slot order, with arguments made from pMarker (pMarker + 0,
     * + 1, ... for the pointers; small distinct numbers for the rest). */
    void CallEveryJobSlot(IMovaJob* pJob, char* pMarker, SJobAnswers* pAnswers);
    void CallEveryProtoSlot(IMovaProto* pProto, char* pMarker, SProtoAnswers* pAnswers);

    /* A sink written in C: it counts its references and notes the last call of each slot. */
    typedef struct SCSinkLog
    {
        int32_t lReferences;
        int nQueryInterface;
        int nGetVersion;
        uint32_t adwFinished[3]; /* dwCount, record offset from the marker, dwContext */
        uint32_t adwEnum[4];     /* dwCount, record offset, dwContext, dwValue */
    } SCSinkLog;
    IJobNotify* CreateCSink(const char* pszVersion, char* pMarker);
    const SCSinkLog* GetCSinkLog(IJobNotify* pSink);
    void DestroyCSink(IJobNotify* pSink);

    /* Drives the real library through the C view without a board: every answer that needs
     * none. Returns NULL when all were as documented, else what differed. */
    const char* CheckLibraryFromC(void);

#ifdef __cplusplus
}
#endif

#endif /* MOVAJOB_TESTS_CBINDING_H */
