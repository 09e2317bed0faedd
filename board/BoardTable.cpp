#include "board/BoardTable.h"

#include <atomic>

namespace
{

const SBoardTable g_boardLibrary = {
#define KORIX_TABLE_ENTRY(name, ordinal, member) name,
    KORIX_BOARD_OPERATIONS(KORIX_TABLE_ENTRY)
#undef KORIX_TABLE_ENTRY
};

std::atomic<const SBoardTable*> g_pTable{&g_boardLibrary};

} // namespace

const SBoardTable& BoardTable()
{
    return *g_pTable.load(std::memory_order_acquire);
}

const SBoardTable* SetBoardTable(const SBoardTable* pTable)
{
    return g_pTable.exchange(pTable ? pTable : &g_boardLibrary, std::memory_order_acq_rel);
}
