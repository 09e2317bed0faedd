// The eight operations of the board library, declared once. Each takes the request block,
// fills it in place and always sets wError; what it returns is not used.
//
// On Linux the library links against libkorix.so, which exports them by these names; on Win32
// they are imported from "KORIX.dll" by ordinal and use the __stdcall convention.
#pragma once

#include "board/BoardRequest.h"

#include <cstdint>

#if defined(_WIN32)
#define KORIX_CALL __stdcall
#else
#define KORIX_CALL
#endif

// X(name, ordinal, table member)
#define KORIX_BOARD_OPERATIONS(X)                                                                  \
    X(BoardRegister, 3, pfnRegister)                                                               \
    X(BoardReadSlaveList, 9, pfnReadSlaveList)                                                     \
    X(BoardReadInput, 13, pfnReadInput)                                                            \
    X(BoardReadOutput, 16, pfnReadOutput)                                                          \
    X(BoardWriteOutput, 12, pfnWriteOutput)                                                        \
    X(BoardReadSlaveStates, 11, pfnReadSlaveStates)                                                \
    X(BoardSetWatchdog, 4, pfnSetWatchdog)                                                         \
    X(BoardClose, 20, pfnClose)

using PFN_BOARD_OPERATION = std::int32_t(KORIX_CALL*)(SBoardRequest* pRequest);

enum teBoardOrdinal
{
#define KORIX_ORDINAL(name, ordinal, member) ORDINAL_##name = ordinal,
    KORIX_BOARD_OPERATIONS(KORIX_ORDINAL)
#undef KORIX_ORDINAL
};

extern "C"
{
#define KORIX_DECLARE(name, ordinal, member) std::int32_t KORIX_CALL name(SBoardRequest* pRequest);
    KORIX_BOARD_OPERATIONS(KORIX_DECLARE)
#undef KORIX_DECLARE
}
