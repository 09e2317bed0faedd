// The function code byte (FC) of SD1, SD2 and SD3 telegrams.
//
//   bit 7     reserved, 0
//   bit 6     frame: 1 = request (send/request frame), 0 = acknowledgement or response
//   request:  bit 5 FCB (frame count bit), bit 4 FCV (frame count bit valid), bits 3-0 code
//   response: bits 5-4 station type (00 slave, 01 master not ready, 10 master ready to enter
//             the token ring, 11 master in the ring), bits 3-0 code
#pragma once

#include <cstdint>

namespace dp
{

inline constexpr std::uint8_t kFcReserved = 0x80;
inline constexpr std::uint8_t kFcRequest = 0x40;
inline constexpr std::uint8_t kFcFcb = 0x20;
inline constexpr std::uint8_t kFcFcv = 0x10;
inline constexpr std::uint8_t kFcCodeMask = 0x0F;
inline constexpr std::uint8_t kFcStationTypeMask = 0x30;

// Request codes.
enum teRequestCode : std::uint8_t
{
    ReqTimeEvent = 0,
    ReqSdaLow = 3,
    ReqSdnLow = 4,
    ReqSdaHigh = 5,
    ReqSdnHigh = 6,
    ReqMsrd = 7,
    ReqFdlStatus = 9,
    ReqSrdLow = 12,
    ReqSrdHigh = 13,
    ReqIdent = 14,
    ReqLsapStatus = 15
};

// Acknowledgement and response codes.
enum teResponseCode : std::uint8_t
{
    RespOk = 0,            // positive acknowledgement
    RespUserError = 1,     // UE
    RespNoResource = 2,    // RR
    RespNoService = 3,     // RS: SAP not activated
    RespDataLow = 8,       // DL: response data, low priority
    RespNoData = 9,        // NR: no response data ready
    RespDataHigh = 10,     // DH: response data, high priority (a DP slave: diagnosis waits)
    RespDataLowNoRes = 12, // RDL
    RespDataHighNoRes = 13 // RDH
};

// Every code with its name for the trace; a request's and a response's codes share numbers,
// so the kind is part of the key.
struct SFunctionCode
{
    std::uint8_t byCode;
    bool bRequest;
    const char* pszName;
};

inline constexpr SFunctionCode kFunctionCodes[] = {
    {ReqTimeEvent, true, "time event"},
    {ReqSdaLow, true, "SDA low"},
    {ReqSdnLow, true, "SDN low"},
    {ReqSdaHigh, true, "SDA high"},
    {ReqSdnHigh, true, "SDN high"},
    {ReqMsrd, true, "MSRD"},
    {ReqFdlStatus, true, "FDL status"},
    {ReqSrdLow, true, "SRD low"},
    {ReqSrdHigh, true, "SRD high"},
    {ReqIdent, true, "ident"},
    {ReqLsapStatus, true, "LSAP status"},
    {RespOk, false, "OK"},
    {RespUserError, false, "UE"},
    {RespNoResource, false, "RR"},
    {RespNoService, false, "RS"},
    {RespDataLow, false, "DL"},
    {RespNoData, false, "NR"},
    {RespDataHigh, false, "DH"},
    {RespDataLowNoRes, false, "RDL"},
    {RespDataHighNoRes, false, "RDH"},
};

// The name of a request's or a response's code (bits 3-0); nullptr for a code nobody defined.
constexpr const char* FunctionCodeName(std::uint8_t byCode, bool bRequest)
{
    for (const SFunctionCode& code : kFunctionCodes)
        if (code.byCode == byCode && code.bRequest == bRequest)
            return code.pszName;
    return nullptr;
}

// Station types of a response (bits 5-4).
inline constexpr std::uint8_t kStationSlave = 0x00;
inline constexpr std::uint8_t kStationMasterNotReady = 0x10;
inline constexpr std::uint8_t kStationMasterReady = 0x20;
inline constexpr std::uint8_t kStationMasterInRing = 0x30;

constexpr std::uint8_t RequestFc(std::uint8_t byCode, bool bFcb, bool bFcv)
{
    return static_cast<std::uint8_t>(kFcRequest | (bFcb ? kFcFcb : 0) | (bFcv ? kFcFcv : 0) |
                                     (byCode & kFcCodeMask));
}

constexpr std::uint8_t ResponseFc(std::uint8_t byCode, std::uint8_t byStationType = kStationSlave)
{
    return static_cast<std::uint8_t>((byStationType & kFcStationTypeMask) | (byCode & kFcCodeMask));
}

constexpr bool IsRequestFc(std::uint8_t byFc)
{
    return (byFc & kFcRequest) != 0;
}
constexpr std::uint8_t FcCode(std::uint8_t byFc)
{
    return byFc & kFcCodeMask;
}
constexpr bool FcFcb(std::uint8_t byFc)
{
    return (byFc & kFcFcb) != 0;
}
constexpr bool FcFcv(std::uint8_t byFc)
{
    return (byFc & kFcFcv) != 0;
}

} // namespace dp
