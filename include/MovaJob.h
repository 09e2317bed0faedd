// What a host compiles against: the job and protocol interfaces, the host's notification sink,
// the records and their codes. Nothing of the library's inside is declared here.
#pragma once

#include "include/MovaCom.h"
#include "include/MovaRecords.h"

#include <cstdint>

class CDPCommunication; // opaque to the host
struct IMovaProto;

// The host's sink: the library calls these slots, the host implements them.
struct IJobNotify : IUnknown
{
    // Must return "Mova Job V1.01" for the job to accept the sink.
    virtual const char* MOVA_CALL GetVersion() = 0;
    // On the job's worker thread after each executed batch; the records hold their results.
    virtual std::int32_t MOVA_CALL OnPutJobFinished(std::uint32_t dwCount, SJobParam* pBuf,
                                                    std::uint32_t dwContext) = 0;
    // During EnumJobQueue, once per waiting batch; exactly 1 withdraws the batch.
    virtual std::int32_t MOVA_CALL OnEnumJob(std::uint32_t dwCount, SJobParam* pBuf,
                                             std::uint32_t dwContext, std::uint32_t dwValue) = 0;

protected:
    ~IJobNotify() = default;
};

struct IMovaJob : IUnknown
{
    virtual const char* MOVA_CALL GetVersion() = 0;
    virtual std::int32_t MOVA_CALL OpenJob(SProtoParams* pProtoParams, SCommParams* pCommParams,
                                           std::int32_t nReserved) = 0;
    virtual std::int32_t MOVA_CALL CloseJob() = 0;
    virtual std::int32_t MOVA_CALL PutJob(std::uint32_t dwCount, SJobParam* pBuf,
                                          std::uint32_t dwContext) = 0;
    virtual std::int32_t MOVA_CALL SetJobNotification(IJobNotify* ptr) = 0;
    virtual HRESULT MOVA_CALL GetProto(IMovaProto** ppProto) = 0;
    virtual HRESULT MOVA_CALL Reserved(void* pReserved) = 0;
    virtual std::int32_t MOVA_CALL EnumJobQueue(std::uint32_t dwValue) = 0;

protected:
    ~IMovaJob() = default;
};

struct IMovaProto : IUnknown
{
    virtual const char* MOVA_CALL GetVersion() = 0;
    virtual std::int32_t MOVA_CALL Open(SProtoParams* pProtoParams, SCommParams* pCommParams) = 0;
    virtual std::int32_t MOVA_CALL Close() = 0;
    virtual std::int32_t MOVA_CALL Read(SJobParam* pPara, std::uint32_t dwCount) = 0;
    virtual std::int32_t MOVA_CALL Write(SJobParam* pPara, std::uint32_t dwCount) = 0;
    virtual std::int32_t MOVA_CALL TestConnection(SJobParam* pPara) = 0;
    virtual HRESULT MOVA_CALL GetTransportLayer(CDPCommunication** ppDPComm) = 0;

protected:
    ~IMovaProto() = default;
};

inline constexpr char kMovaJobVersion[] = "Mova Job V1.01";
inline constexpr char kMovaProtoVersion[] = "Mova Protocol V1.00";

#if defined(_WIN32)
#define MOVA_API
#else
#define MOVA_API __attribute__((visibility("default")))
#endif

// The library's two exports. Each returns 1 with a new object (its count 1, the caller's to
// Release) stored through the argument; 0 for a null argument, or with null stored when no
// object could be had.
extern "C"
{
    MOVA_API std::int32_t CreateIMovaJob(IMovaJob** ppJob);
    MOVA_API std::int32_t CreateIMovaProto(IMovaProto** ppProto);

    // For hosts that look the factories up by name in the loaded library.
    using PFN_CREATE_IMOVAJOB = std::int32_t (*)(IMovaJob** ppJob);
    using PFN_CREATE_IMOVAPROTO = std::int32_t (*)(IMovaProto** ppProto);
}
