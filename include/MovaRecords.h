// The host's records: a job parameter record per request, the connection record (also the
// entries of the slave table), and the two records with which the host opens a job. The host
// builds these as bytes, so their layout is a contract: byte-packed, little-endian, pointers in
// the host's width.
//
// 32-bit x86 (pointers 4 bytes):            x86-64 (pointers 8 bytes):
//
// SConSpec, 15 bytes                        SConSpec, 23 bytes
//    0 byL2Addr        1                       0 byL2Addr        1
//    1 wLenIn          2                       1 wLenIn          2
//    3 wLenOut         2                       3 wLenOut         2
//    5 wState          2                       5 wState          2
//    7 lpvBufferIn     4                       7 lpvBufferIn     8
//   11 lpvBufferOut    4                      15 lpvBufferOut    8
//
// SJobParam, 57 bytes                       SJobParam, 69 bytes
//    0 dwUserData      4                       0 dwUserData      4
//    4 dwCommand       4                       4 dwCommand       4
//    8 tsConSpec      15                       8 tsConSpec      23
//   23 wByteOffset     2                      31 wByteOffset     2
//   25 wBitOffset      2                      33 wBitOffset      2
//   27 wBitLength      2                      35 wBitLength      2
//   29 bOutBuffer      4                      37 bOutBuffer      4
//   33 bSwap           4                      41 bSwap           4
//   37 dwReserved1     4                      45 dwReserved1     4
//   41 lResult         4                      49 lResult         4
//   45 dwReserved2     4                      53 dwReserved2     4
//   49 dwReserved3     4                      57 dwReserved3     4
//   53 pData           4                      61 pData           8
//
// SProtoParams, 5 bytes (both)              SCommParams, 2960 bytes
//    0 dwSize          4                       0 dwSize          4
//    4 byTimeCheckConnection 1                 4 Board           4
//                                              8 byTimeWatchdog  1
// SCommParams, 1936 bytes                      9 ucNumberOfDPSlaves 1
//    0 dwSize          4                      10 aSlaves   128 x 23
//    4 Board           4                    2954 padding         2
//    8 byTimeWatchdog  1                    2956 nMaxMsg         4
//    9 ucNumberOfDPSlaves 1
//   10 aSlaves   128 x 15
// 1930 padding         2
// 1932 nMaxMsg         4
#pragma once

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

struct SConSpec
{
    std::uint8_t byL2Addr; // slave address; 0 marks an unused slave table entry
    std::uint16_t wLenIn;  // input image length in bytes
    std::uint16_t wLenOut; // output image length in bytes; its low byte is what a write sends
    std::uint16_t wState;  // slave status number (slave table only)
    void* lpvBufferIn;     // the host's input image buffer, or null
    void* lpvBufferOut;    // the host's output image buffer, or null
};

struct SJobParam
{
    std::uint32_t dwUserData; // the host's own; never touched
    std::uint32_t dwCommand;  // JobRead, JobWrite, JobTestConn, JobCanceled
    SConSpec tsConSpec;
    std::uint16_t wByteOffset; // first byte of the variable in the image
    std::uint16_t wBitOffset;  // bit number from wByteOffset, for a one-bit variable
    std::uint16_t wBitLength;  // 1: one bit; else (wBitLength + 7) / 8 bytes
    std::int32_t bOutBuffer;   // read: 0 input image, else output image
    std::int32_t bSwap;        // non-zero: big-endian image values of 16, 32 and 64 bits
    std::uint32_t dwReserved1;
    std::int32_t lResult; // written by the library
    std::uint32_t dwReserved2;
    std::uint32_t dwReserved3;
    void* pData; // the host's value buffer
};

struct SProtoParams
{
    std::uint32_t dwSize;
    std::uint8_t byTimeCheckConnection;
};

inline constexpr std::size_t kSlaveTableEntries = 128;

struct SCommParams
{
    std::uint32_t dwSize;
    std::int32_t Board;          // board number
    std::uint8_t byTimeWatchdog; // 0: no watchdog
    std::uint8_t ucNumberOfDPSlaves;
    SConSpec aSlaves[kSlaveTableEntries];
    // nMaxMsg sits at the next multiple of 4 after the slave table.
    std::uint8_t abyPadding[(4 - (10 + kSlaveTableEntries * sizeof(SConSpec)) % 4) % 4];
    std::int32_t nMaxMsg;
};

#pragma pack(pop)

// Job commands in dwCommand.
inline constexpr std::uint32_t JobRead = 0;
inline constexpr std::uint32_t JobWrite = 2;
inline constexpr std::uint32_t JobTestConn = 3;
inline constexpr std::uint32_t JobCanceled = 5;

// Values of lResult and of the protocol operations' results.
inline constexpr std::int32_t MOVA_RESULT_DONE = 0;
inline constexpr std::int32_t MOVA_RESULT_OUTSIDE_IMAGE = -963;
inline constexpr std::int32_t MOVA_RESULT_BOARD_BASE = -800; // minus the error number
inline constexpr std::int32_t MOVA_RESULT_NO_OUTPUT_BUFFER = -860;
inline constexpr std::int32_t MOVA_RESULT_NULL_POINTER = -900;

// The layout above, checked for the width of this build.
static_assert(sizeof(SProtoParams) == 5);
static_assert(offsetof(SProtoParams, byTimeCheckConnection) == 4);
static_assert(offsetof(SConSpec, byL2Addr) == 0);
static_assert(offsetof(SConSpec, wLenIn) == 1);
static_assert(offsetof(SConSpec, wLenOut) == 3);
static_assert(offsetof(SConSpec, wState) == 5);
static_assert(offsetof(SConSpec, lpvBufferIn) == 7);
static_assert(offsetof(SConSpec, lpvBufferOut) == 7 + sizeof(void*));
static_assert(sizeof(SConSpec) == 7 + 2 * sizeof(void*));
static_assert(offsetof(SJobParam, dwUserData) == 0);
static_assert(offsetof(SJobParam, dwCommand) == 4);
static_assert(offsetof(SJobParam, tsConSpec) == 8);
static_assert(offsetof(SCommParams, dwSize) == 0);
static_assert(offsetof(SCommParams, Board) == 4);
static_assert(offsetof(SCommParams, byTimeWatchdog) == 8);
static_assert(offsetof(SCommParams, ucNumberOfDPSlaves) == 9);
static_assert(offsetof(SCommParams, aSlaves) == 10);

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(SConSpec) == 15);
static_assert(offsetof(SJobParam, wByteOffset) == 23);
static_assert(offsetof(SJobParam, wBitOffset) == 25);
static_assert(offsetof(SJobParam, wBitLength) == 27);
static_assert(offsetof(SJobParam, bOutBuffer) == 29);
static_assert(offsetof(SJobParam, bSwap) == 33);
static_assert(offsetof(SJobParam, dwReserved1) == 37);
static_assert(offsetof(SJobParam, lResult) == 41);
static_assert(offsetof(SJobParam, dwReserved2) == 45);
static_assert(offsetof(SJobParam, dwReserved3) == 49);
static_assert(offsetof(SJobParam, pData) == 53);
static_assert(sizeof(SJobParam) == 57);
static_assert(offsetof(SCommParams, nMaxMsg) == 1932);
static_assert(sizeof(SCommParams) == 1936);
#else
static_assert(sizeof(SConSpec) == 23);
static_assert(offsetof(SJobParam, wByteOffset) == 31);
static_assert(offsetof(SJobParam, wBitOffset) == 33);
static_assert(offsetof(SJobParam, wBitLength) == 35);
static_assert(offsetof(SJobParam, bOutBuffer) == 37);
static_assert(offsetof(SJobParam, bSwap) == 41);
static_assert(offsetof(SJobParam, dwReserved1) == 45);
static_assert(offsetof(SJobParam, lResult) == 49);
static_assert(offsetof(SJobParam, dwReserved2) == 53);
static_assert(offsetof(SJobParam, dwReserved3) == 57);
static_assert(offsetof(SJobParam, pData) == 61);
static_assert(sizeof(SJobParam) == 69);
static_assert(offsetof(SCommParams, nMaxMsg) == 2956);
static_assert(sizeof(SCommParams) == 2960);
#endif
