// The library's one door to the board: every board call goes through this table, which tests
// fill with a scripted board.
#pragma once

#include "board/BoardOperations.h"

struct SBoardTable
{
#define KORIX_TABLE_MEMBER(name, ordinal, member) PFN_BOARD_OPERATION member;
    KORIX_BOARD_OPERATIONS(KORIX_TABLE_MEMBER)
#undef KORIX_TABLE_MEMBER
};

// The table in use: the board library's operations unless a test put its own.
const SBoardTable& BoardTable();

// Puts pTable in place of the board library (null restores it); returns the table it replaces.
// The table must outlive its use; not meant to be swapped while board calls run.
const SBoardTable* SetBoardTable(const SBoardTable* pTable);
