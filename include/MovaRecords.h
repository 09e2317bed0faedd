/*
 * The host's records: a job parameter record per request, the connection record (also the
 * entries of the slave table), and the two records with which the host opens a job. The host
 * builds these as bytes, so their layout is a contract: byte-packed, little-endian, pointers in
 * the host's width.
 *
 * 32-bit x86 (pointers 4 bytes):            x86-64 (pointers 8 bytes):
 *
 * SConSpec, 15 bytes                        SConSpec, 23 bytes
 *    0 byL2Addr        1                       0 byL2Addr        1
 *    1 wLenIn          2                       1 wLenIn          2
 *    3 wLenOut         2                       3 wLenOut         2
 *    5 wState          2                       5 wState          2
 *    7 lpvBufferIn     4                       7 lpvBufferIn     8
 *   11 lpvBufferOut    4                      15 lpvBufferOut    8
 *
 * SJobParam, 57 bytes                       SJobParam, 69 bytes
 *    0 dwUserData      4                       0 dwUserData      4
 *    4 dwCommand       4                       4 dwCommand       4
 *    8 tsConSpec      15                       8 tsConSpec      23
 *   23 wByteOffset     2                      31 wByteOffset     2
 *   25 wBitOffset      2                      33 wBitOffset      2
 *   27 wBitLength      2                      35 wBitLength      2
 *   29 bOutBuffer      4                      37 bOutBuffer      4
 *   33 bSwap           4                      41 bSwap           4
 *   37 dwReserved1     4                      45 dwReserved1     4
 *   41 lResult         4                      49 lResult         4
 *   45 dwReserved2     4                      53 dwReserved2     4
 *   49 dwReserved3     4                      57 dwReserved3     4
 *   53 pData           4                      61 pData           8
 *
 * SProtoParams, 5 bytes (both)              SCommParams, 2960 bytes
 *    0 dwSize          4                       0 dwSize          4
 *    4 byTimeCheckConnection 1                 4 Board           4
 *                                              8 byTimeWatchdog  1
 * SCommParams, 1936 bytes                      9 ucNumberOfDPSlaves 1
 *    0 dwSize          4                      10 aSlaves   128 x 23
 *    4 Board           4                    2954 padding         2
 *    8 byTimeWatchdog  1                    2956 nMaxMsg         4
 *    9 ucNumberOfDPSlaves 1
 *   10 aSlaves   128 x 15
 * 1930 padding         2
 * 1932 nMaxMsg         4
 *
 * Works as C (C99 or later) and as C++ (C++11 or later).
 */
#ifndef MOVAJOB_MOVARECORDS_H
#define MOVAJOB_MOVARECORDS_H

#include "MovaResults.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
#endif

/* Entries of the slave table in SCommParams: one per L2 address 0..127. */
#define MOVA_SLAVE_TABLE_ENTRIES 128

#pragma pack(push, 1)

typedef struct SConSpec
{
    uint8_t byL2Addr;   /* slave address; 0 marks an unused slave table entry */
    uint16_t wLenIn;    /* input image length in bytes */
    uint16_t wLenOut;   /* output image length in bytes; its low byte is what a write sends */
    uint16_t wState;    /* slave status number (slave table only, teErrorNumber) */
    void* lpvBufferIn;  /* the host's input image buffer, or null */
    void* lpvBufferOut; /* the host's output image buffer, or null */
} SConSpec;

typedef struct SJobParam
{
    uint32_t dwUserData; /* the host's own; never touched */
    uint32_t dwCommand;  /* JobRead, JobWrite, JobTestConn, JobCanceled */
    SConSpec tsConSpec;
    uint16_t wByteOffset; /* first byte of the variable in the image */
    uint16_t wBitOffset;  /* bit number from wByteOffset, for a one-bit variable */
    uint16_t wBitLength;  /* 1: one bit; else (wBitLength + 7) / 8 bytes */
    int32_t bOutBuffer;   /* read: 0 input image, else output image */
    int32_t bSwap;        /* non-zero: big-endian image values of 16, 32 and 64 bits */
    uint32_t dwReserved1;
    int32_t lResult; /* written by the library (MovaResults.h) */
    uint32_t dwReserved2;
    uint32_t dwReserved3;
    void* pData; /* the host's value buffer */
} SJobParam;

typedef struct SProtoParams
{
    uint32_t dwSize;
    uint8_t byTimeCheckConnection;
} SProtoParams;

typedef struct SCommParams
{
    uint32_t dwSize;
    int32_t Board;          /* board number */
    uint8_t byTimeWatchdog; /* 0: no watchdog */
    uint8_t ucNumberOfDPSlaves;
    SConSpec aSlaves[MOVA_SLAVE_TABLE_ENTRIES];
    /* nMaxMsg sits at the next multiple of 4 after the slave table. */
    uint8_t abyPadding[(4 - (10 + MOVA_SLAVE_TABLE_ENTRIES * sizeof(SConSpec)) % 4) % 4];
    int32_t nMaxMsg;
} SCommParams;

#pragma pack(pop)

/* Job commands in dwCommand. */
#ifdef __cplusplus
enum teJobCommand : uint32_t
#else
enum teJobCommand
#endif
{
    JobRead = 0,     /* the whole batch is one read */
    JobWrite = 2,    /* the whole batch is one write */
    JobTestConn = 3, /* this record is one connection test */
    JobCanceled = 5  /* this record is skipped; its lResult becomes 0 */
};
#ifndef __cplusplus
typedef enum teJobCommand teJobCommand;
#endif

#ifdef __cplusplus
static const std::size_t kSlaveTableEntries = MOVA_SLAVE_TABLE_ENTRIES;
#endif

/* The layout above, checked for the pointer width of this build. */
#if defined(__cplusplus)
#define MOVA_LAYOUT_CHECK(name, condition) static_assert(condition, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define MOVA_LAYOUT_CHECK(name, condition) _Static_assert(condition, #name)
#else
#define MOVA_LAYOUT_CHECK(name, condition)                                                         \
    typedef char mova_layout_check_##name[(condition) ? 1 : -1]
#endif

MOVA_LAYOUT_CHECK(SProtoParams_size, sizeof(SProtoParams) == 5);
MOVA_LAYOUT_CHECK(byTimeCheckConnection, offsetof(SProtoParams, byTimeCheckConnection) == 4);
MOVA_LAYOUT_CHECK(byL2Addr, offsetof(SConSpec, byL2Addr) == 0);
MOVA_LAYOUT_CHECK(wLenIn, offsetof(SConSpec, wLenIn) == 1);
MOVA_LAYOUT_CHECK(wLenOut, offsetof(SConSpec, wLenOut) == 3);
MOVA_LAYOUT_CHECK(wState, offsetof(SConSpec, wState) == 5);
MOVA_LAYOUT_CHECK(lpvBufferIn, offsetof(SConSpec, lpvBufferIn) == 7);
MOVA_LAYOUT_CHECK(lpvBufferOut, offsetof(SConSpec, lpvBufferOut) == 7 + sizeof(void*));
MOVA_LAYOUT_CHECK(SConSpec_size, sizeof(SConSpec) == 7 + 2 * sizeof(void*));
MOVA_LAYOUT_CHECK(dwUserData, offsetof(SJobParam, dwUserData) == 0);
MOVA_LAYOUT_CHECK(dwCommand, offsetof(SJobParam, dwCommand) == 4);
MOVA_LAYOUT_CHECK(tsConSpec, offsetof(SJobParam, tsConSpec) == 8);
MOVA_LAYOUT_CHECK(dwSize, offsetof(SCommParams, dwSize) == 0);
MOVA_LAYOUT_CHECK(Board, offsetof(SCommParams, Board) == 4);
MOVA_LAYOUT_CHECK(byTimeWatchdog, offsetof(SCommParams, byTimeWatchdog) == 8);
MOVA_LAYOUT_CHECK(ucNumberOfDPSlaves, offsetof(SCommParams, ucNumberOfDPSlaves) == 9);
MOVA_LAYOUT_CHECK(aSlaves, offsetof(SCommParams, aSlaves) == 10);

#if UINTPTR_MAX == 0xFFFFFFFFu
MOVA_LAYOUT_CHECK(SConSpec_size32, sizeof(SConSpec) == 15);
MOVA_LAYOUT_CHECK(wByteOffset, offsetof(SJobParam, wByteOffset) == 23);
MOVA_LAYOUT_CHECK(wBitOffset, offsetof(SJobParam, wBitOffset) == 25);
MOVA_LAYOUT_CHECK(wBitLength, offsetof(SJobParam, wBitLength) == 27);
MOVA_LAYOUT_CHECK(bOutBuffer, offsetof(SJobParam, bOutBuffer) == 29);
MOVA_LAYOUT_CHECK(bSwap, offsetof(SJobParam, bSwap) == 33);
MOVA_LAYOUT_CHECK(dwReserved1, offsetof(SJobParam, dwReserved1) == 37);
MOVA_LAYOUT_CHECK(lResult, offsetof(SJobParam, lResult) == 41);
MOVA_LAYOUT_CHECK(dwReserved2, offsetof(SJobParam, dwReserved2) == 45);
MOVA_LAYOUT_CHECK(dwReserved3, offsetof(SJobParam, dwReserved3) == 49);
MOVA_LAYOUT_CHECK(pData, offsetof(SJobParam, pData) == 53);
MOVA_LAYOUT_CHECK(SJobParam_size, sizeof(SJobParam) == 57);
MOVA_LAYOUT_CHECK(nMaxMsg, offsetof(SCommParams, nMaxMsg) == 1932);
MOVA_LAYOUT_CHECK(SCommParams_size, sizeof(SCommParams) == 1936);
#else
MOVA_LAYOUT_CHECK(SConSpec_size64, sizeof(SConSpec) == 23);
MOVA_LAYOUT_CHECK(wByteOffset, offsetof(SJobParam, wByteOffset) == 31);
MOVA_LAYOUT_CHECK(wBitOffset, offsetof(SJobParam, wBitOffset) == 33);
MOVA_LAYOUT_CHECK(wBitLength, offsetof(SJobParam, wBitLength) == 35);
MOVA_LAYOUT_CHECK(bOutBuffer, offsetof(SJobParam, bOutBuffer) == 37);
MOVA_LAYOUT_CHECK(bSwap, offsetof(SJobParam, bSwap) == 41);
MOVA_LAYOUT_CHECK(dwReserved1, offsetof(SJobParam, dwReserved1) == 45);
MOVA_LAYOUT_CHECK(lResult, offsetof(SJobParam, lResult) == 49);
MOVA_LAYOUT_CHECK(dwReserved2, offsetof(SJobParam, dwReserved2) == 53);
MOVA_LAYOUT_CHECK(dwReserved3, offsetof(SJobParam, dwReserved3) == 57);
MOVA_LAYOUT_CHECK(pData, offsetof(SJobParam, pData) == 61);
MOVA_LAYOUT_CHECK(SJobParam_size, sizeof(SJobParam) == 69);
MOVA_LAYOUT_CHECK(nMaxMsg, offsetof(SCommParams, nMaxMsg) == 2956);
MOVA_LAYOUT_CHECK(SCommParams_size, sizeof(SCommParams) == 2960);
#endif

#undef MOVA_LAYOUT_CHECK

#endif /* MOVAJOB_MOVARECORDS_H */
