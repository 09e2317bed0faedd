/*
 * What a host compiles against: the job and protocol interfaces, the host's notification sink,
 * the two factories, and (through the headers included here) the records and every result
 * code. Nothing of the library's inside is declared here.
 *
 * Works as C (C99 or later) and as C++ (C++11 or later), with GCC and Clang, for x86-64, x86
 * and 32-bit Windows (MinGW-w64). In C++ the interfaces are classes with pure virtual slots;
 * in C (or in C++ with CINTERFACE defined) they follow the usual COM C binding:
 *
 *     typedef struct IMovaJob { const struct IMovaJobVtbl* lpVtbl; } IMovaJob;
 *
 * where IMovaJobVtbl holds one function pointer per slot, in slot order, each taking the
 * object first, and IMovaJob_OpenJob(p, ...) and its siblings call through it. The slot order
 * of each interface is given once, in the slot comments of its C++ view; the C view repeats
 * it, and the library's tests check that the two agree.
 *
 * Calling conventions: every interface slot is MOVA_CALL (__stdcall on 32-bit Windows); the
 * two factories are MOVA_FACTORY_CALL, which is __cdecl on 32-bit Windows. A Windows host must
 * not declare the factories WINAPI: that is __stdcall and corrupts its stack.
 */
#ifndef MOVAJOB_MOVAJOB_H
#define MOVAJOB_MOVAJOB_H

#include "MovaCom.h"
#include "MovaRecords.h"
#include "MovaResults.h"

#include <stdint.h>

#if defined(_WIN32)
#define MOVA_FACTORY_CALL __cdecl
#define MOVA_API
#else
#define MOVA_FACTORY_CALL
#define MOVA_API __attribute__((visibility("default")))
#endif

/* The version strings of the two objects. A sink's GetVersion must return MOVAJOB_VERSION. */

/*
 * The sink (IJobNotify) sees exactly these calls: GetVersion and AddRef from
 * SetJobNotification(sink) when it is accepted; OnPutJobFinished on the worker after each
 * batch; OnEnumJob from EnumJobQueue; and one Release, from SetJobNotification(NULL), CloseJob
 * or the job's destruction. No reference is taken around a report or a walk.
 * SetJobNotification(NULL) and CloseJob outside a call into the host return only when no call
 * into the sink is in progress and its Release is made: then the host may free the sink. So a
 * report handler must not wait for a thread that drops the sink or closes the job. Inside
 * OnPutJobFinished or OnEnumJob, SetJobNotification(NULL) returns at once and the Release
 * follows when the calls in progress have returned. Only OnEnumJob runs with a lock of the job
 * held (the queue lock). docs/api/sink-references.md has the whole contract.
 */
#define MOVAJOB_VERSION "Mova Job V1.01"
#define MOVAPROTO_VERSION "Mova Protocol V1.00"

#if defined(__cplusplus) && !defined(CINTERFACE)

static const char kMovaJobVersion[] = MOVAJOB_VERSION;
static const char kMovaProtoVersion[] = MOVAPROTO_VERSION;

class CDPCommunication; // opaque to the host
struct IMovaProto;

// The host's sink: the library calls these slots, the host implements them.
struct IJobNotify : IUnknown
{
    // Slots 0 to 2: QueryInterface (never called), AddRef and Release (once each per
    // registration).
    // Slot 3. Must return "Mova Job V1.01" for the job to accept the sink.
    virtual const char* MOVA_CALL GetVersion() = 0;
    // Slot 4. On the job's worker thread after each executed batch; the records hold their
    // results. The returned value is ignored.
    virtual int32_t MOVA_CALL OnPutJobFinished(uint32_t dwCount, SJobParam* pBuf,
                                               uint32_t dwContext) = 0;
    // Slot 5. During EnumJobQueue, once per waiting batch; exactly 1 withdraws the batch.
    virtual int32_t MOVA_CALL OnEnumJob(uint32_t dwCount, SJobParam* pBuf, uint32_t dwContext,
                                        uint32_t dwValue) = 0;

protected:
    ~IJobNotify() = default;
};

struct IMovaJob : IUnknown
{
    // Slots 0 to 2: QueryInterface (IID_IUnknown alone), AddRef, Release.
    // Slot 3: "Mova Job V1.01".
    virtual const char* MOVA_CALL GetVersion() = 0;
    // Slot 4.
    virtual int32_t MOVA_CALL OpenJob(SProtoParams* pProtoParams, SCommParams* pCommParams,
                                      int32_t nReserved) = 0;
    // Slot 5.
    virtual int32_t MOVA_CALL CloseJob() = 0;
    // Slot 6.
    virtual int32_t MOVA_CALL PutJob(uint32_t dwCount, SJobParam* pBuf, uint32_t dwContext) = 0;
    // Slot 7.
    virtual int32_t MOVA_CALL SetJobNotification(IJobNotify* ptr) = 0;
    // Slot 8.
    virtual HRESULT MOVA_CALL GetProto(IMovaProto** ppProto) = 0;
    // Slot 9: always E_NOTIMPL.
    virtual HRESULT MOVA_CALL Reserved(void* pReserved) = 0;
    // Slot 10.
    virtual int32_t MOVA_CALL EnumJobQueue(uint32_t dwValue) = 0;

protected:
    ~IMovaJob() = default;
};

struct IMovaProto : IUnknown
{
    // Slots 0 to 2: QueryInterface (IID_IUnknown alone), AddRef, Release.
    // Slot 3: "Mova Protocol V1.00".
    virtual const char* MOVA_CALL GetVersion() = 0;
    // Slot 4.
    virtual int32_t MOVA_CALL Open(SProtoParams* pProtoParams, SCommParams* pCommParams) = 0;
    // Slot 5.
    virtual int32_t MOVA_CALL Close() = 0;
    // Slot 6.
    virtual int32_t MOVA_CALL Read(SJobParam* pPara, uint32_t dwCount) = 0;
    // Slot 7.
    virtual int32_t MOVA_CALL Write(SJobParam* pPara, uint32_t dwCount) = 0;
    // Slot 8.
    virtual int32_t MOVA_CALL TestConnection(SJobParam* pPara) = 0;
    // Slot 9.
    virtual HRESULT MOVA_CALL GetTransportLayer(CDPCommunication** ppDPComm) = 0;

protected:
    ~IMovaProto() = default;
};

#else /* the C view */

typedef struct CDPCommunication CDPCommunication; /* opaque to the host */
typedef struct IJobNotify IJobNotify;
typedef struct IMovaJob IMovaJob;
typedef struct IMovaProto IMovaProto;

typedef struct IJobNotifyVtbl
{
    HRESULT(MOVA_CALL* QueryInterface)(IJobNotify* This, REFIID riid, void** ppvObject);
    ULONG(MOVA_CALL* AddRef)(IJobNotify* This);
    ULONG(MOVA_CALL* Release)(IJobNotify* This);
    const char*(MOVA_CALL* GetVersion)(IJobNotify* This);
    int32_t(MOVA_CALL* OnPutJobFinished)(IJobNotify* This, uint32_t dwCount, SJobParam* pBuf,
                                         uint32_t dwContext);
    int32_t(MOVA_CALL* OnEnumJob)(IJobNotify* This, uint32_t dwCount, SJobParam* pBuf,
                                  uint32_t dwContext, uint32_t dwValue);
} IJobNotifyVtbl;
struct IJobNotify
{
    const struct IJobNotifyVtbl* lpVtbl;
};

typedef struct IMovaJobVtbl
{
    HRESULT(MOVA_CALL* QueryInterface)(IMovaJob* This, REFIID riid, void** ppvObject);
    ULONG(MOVA_CALL* AddRef)(IMovaJob* This);
    ULONG(MOVA_CALL* Release)(IMovaJob* This);
    const char*(MOVA_CALL* GetVersion)(IMovaJob* This);
    int32_t(MOVA_CALL* OpenJob)(IMovaJob* This, SProtoParams* pProtoParams,
                                SCommParams* pCommParams, int32_t nReserved);
    int32_t(MOVA_CALL* CloseJob)(IMovaJob* This);
    int32_t(MOVA_CALL* PutJob)(IMovaJob* This, uint32_t dwCount, SJobParam* pBuf,
                               uint32_t dwContext);
    int32_t(MOVA_CALL* SetJobNotification)(IMovaJob* This, IJobNotify* ptr);
    HRESULT(MOVA_CALL* GetProto)(IMovaJob* This, IMovaProto** ppProto);
    HRESULT(MOVA_CALL* Reserved)(IMovaJob* This, void* pReserved);
    int32_t(MOVA_CALL* EnumJobQueue)(IMovaJob* This, uint32_t dwValue);
} IMovaJobVtbl;
struct IMovaJob
{
    const struct IMovaJobVtbl* lpVtbl;
};

typedef struct IMovaProtoVtbl
{
    HRESULT(MOVA_CALL* QueryInterface)(IMovaProto* This, REFIID riid, void** ppvObject);
    ULONG(MOVA_CALL* AddRef)(IMovaProto* This);
    ULONG(MOVA_CALL* Release)(IMovaProto* This);
    const char*(MOVA_CALL* GetVersion)(IMovaProto* This);
    int32_t(MOVA_CALL* Open)(IMovaProto* This, SProtoParams* pProtoParams,
                             SCommParams* pCommParams);
    int32_t(MOVA_CALL* Close)(IMovaProto* This);
    int32_t(MOVA_CALL* Read)(IMovaProto* This, SJobParam* pPara, uint32_t dwCount);
    int32_t(MOVA_CALL* Write)(IMovaProto* This, SJobParam* pPara, uint32_t dwCount);
    int32_t(MOVA_CALL* TestConnection)(IMovaProto* This, SJobParam* pPara);
    HRESULT(MOVA_CALL* GetTransportLayer)(IMovaProto* This, CDPCommunication** ppDPComm);
} IMovaProtoVtbl;
struct IMovaProto
{
    const struct IMovaProtoVtbl* lpVtbl;
};

#define IJobNotify_QueryInterface(This, riid, ppvObject)                                           \
    ((This)->lpVtbl->QueryInterface(This, riid, ppvObject))
#define IJobNotify_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define IJobNotify_Release(This) ((This)->lpVtbl->Release(This))
#define IJobNotify_GetVersion(This) ((This)->lpVtbl->GetVersion(This))
#define IJobNotify_OnPutJobFinished(This, dwCount, pBuf, dwContext)                                \
    ((This)->lpVtbl->OnPutJobFinished(This, dwCount, pBuf, dwContext))
#define IJobNotify_OnEnumJob(This, dwCount, pBuf, dwContext, dwValue)                              \
    ((This)->lpVtbl->OnEnumJob(This, dwCount, pBuf, dwContext, dwValue))

#define IMovaJob_QueryInterface(This, riid, ppvObject)                                             \
    ((This)->lpVtbl->QueryInterface(This, riid, ppvObject))
#define IMovaJob_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define IMovaJob_Release(This) ((This)->lpVtbl->Release(This))
#define IMovaJob_GetVersion(This) ((This)->lpVtbl->GetVersion(This))
#define IMovaJob_OpenJob(This, pProtoParams, pCommParams, nReserved)                               \
    ((This)->lpVtbl->OpenJob(This, pProtoParams, pCommParams, nReserved))
#define IMovaJob_CloseJob(This) ((This)->lpVtbl->CloseJob(This))
#define IMovaJob_PutJob(This, dwCount, pBuf, dwContext)                                            \
    ((This)->lpVtbl->PutJob(This, dwCount, pBuf, dwContext))
#define IMovaJob_SetJobNotification(This, ptr) ((This)->lpVtbl->SetJobNotification(This, ptr))
#define IMovaJob_GetProto(This, ppProto) ((This)->lpVtbl->GetProto(This, ppProto))
#define IMovaJob_Reserved(This, pReserved) ((This)->lpVtbl->Reserved(This, pReserved))
#define IMovaJob_EnumJobQueue(This, dwValue) ((This)->lpVtbl->EnumJobQueue(This, dwValue))

#define IMovaProto_QueryInterface(This, riid, ppvObject)                                           \
    ((This)->lpVtbl->QueryInterface(This, riid, ppvObject))
#define IMovaProto_AddRef(This) ((This)->lpVtbl->AddRef(This))
#define IMovaProto_Release(This) ((This)->lpVtbl->Release(This))
#define IMovaProto_GetVersion(This) ((This)->lpVtbl->GetVersion(This))
#define IMovaProto_Open(This, pProtoParams, pCommParams)                                           \
    ((This)->lpVtbl->Open(This, pProtoParams, pCommParams))
#define IMovaProto_Close(This) ((This)->lpVtbl->Close(This))
#define IMovaProto_Read(This, pPara, dwCount) ((This)->lpVtbl->Read(This, pPara, dwCount))
#define IMovaProto_Write(This, pPara, dwCount) ((This)->lpVtbl->Write(This, pPara, dwCount))
#define IMovaProto_TestConnection(This, pPara) ((This)->lpVtbl->TestConnection(This, pPara))
#define IMovaProto_GetTransportLayer(This, ppDPComm)                                               \
    ((This)->lpVtbl->GetTransportLayer(This, ppDPComm))

#endif /* the C view */

/*
 * The library's two exports. Each returns 1 (MOVA_CREATED) with a new object, its count 1 and
 * the caller's to Release, stored through the argument; 0 for a null argument, or with null
 * stored when no object could be had.
 */
#ifdef __cplusplus
extern "C"
{
#endif

    MOVA_API int32_t MOVA_FACTORY_CALL CreateIMovaJob(IMovaJob** ppJob);
    MOVA_API int32_t MOVA_FACTORY_CALL CreateIMovaProto(IMovaProto** ppProto);

    /* For hosts that look the factories up by name in the loaded library. */
    typedef int32_t(MOVA_FACTORY_CALL* PFN_CREATE_IMOVAJOB)(IMovaJob** ppJob);
    typedef int32_t(MOVA_FACTORY_CALL* PFN_CREATE_IMOVAPROTO)(IMovaProto** ppProto);

#ifdef __cplusplus
}
#endif

#endif /* MOVAJOB_MOVAJOB_H */
