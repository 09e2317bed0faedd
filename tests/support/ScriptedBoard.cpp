#include "tests/support/ScriptedBoard.h"

#include <algorithm>
#include <cstring>

namespace testsupport
{
namespace
{

CScriptedBoard* g_pActive = nullptr;

std::vector<std::uint8_t> Pattern(std::size_t nLength, std::uint8_t bySeed)
{
    std::vector<std::uint8_t> bytes(nLength);
    for (std::size_t i = 0; i < nLength; ++i)
        bytes[i] = static_cast<std::uint8_t>(bySeed + i);
    return bytes;
}

} // namespace

CScriptedBoard::CScriptedBoard()
{
    m_slaves[3] = {2, Pattern(8, 0x30), Pattern(8, 0x80)};
    m_slaves[4] = {3, Pattern(4, 0x40), Pattern(2, 0x90)};
    m_slaves[5] = {2, Pattern(244, 0x00), Pattern(244, 0x10)};
    static const SBoardTable table = {
#define SCRIPTED_ENTRY(name, ordinal, member) &CScriptedBoard::name,
        KORIX_BOARD_OPERATIONS(SCRIPTED_ENTRY)
#undef SCRIPTED_ENTRY
    };
    g_pActive = this;
    m_pPrevious = SetBoardTable(&table);
}

CScriptedBoard::~CScriptedBoard()
{
    SetBoardTable(m_pPrevious);
    g_pActive = nullptr;
}

void CScriptedBoard::Then(const std::string& operation, AnswerEdit edit)
{
    m_nextEdits[operation].push_back(std::move(edit));
}

void CScriptedBoard::Always(const std::string& operation, AnswerEdit edit)
{
    m_alwaysEdits[operation] = std::move(edit);
}

std::vector<std::string> CScriptedBoard::CallNames() const
{
    std::vector<std::string> names;
    for (const SBoardCall& call : m_calls)
        names.push_back(call.operation);
    return names;
}

std::int32_t KORIX_CALL CScriptedBoard::Dispatch(const char* pszOperation, SBoardRequest* pRequest)
{
    CScriptedBoard& board = *g_pActive;
    std::string operation = pszOperation;
    board.m_calls.push_back({operation, *pRequest});
    board.AnswerFromPlant(operation, *pRequest);
    if (auto always = board.m_alwaysEdits.find(operation); always != board.m_alwaysEdits.end())
        always->second(*pRequest);
    auto& queue = board.m_nextEdits[operation];
    if (!queue.empty())
    {
        queue.front()(*pRequest);
        queue.pop_front();
    }
    return pRequest->wError;
}

void CScriptedBoard::AnswerFromPlant(const std::string& operation, SBoardRequest& request)
{
    request.wError = 0;
    request.byMasterState = m_byMasterMode;
    request.byFlags = m_byFlags;
    auto slave = m_slaves.find(request.byL2Addr);
    if (operation == "BoardRegister")
    {
        request.byHandle = kHandle;
        request.byHandleExt = kHandleExt;
    }
    else if (operation == "BoardReadSlaveList")
    {
        std::memset(request.abyData, 0xFF, sizeof request.abyData);
        for (const auto& [byAddr, entry] : m_slaves)
            request.abyData[byAddr] = 0;
    }
    else if (operation == "BoardReadInput" || operation == "BoardReadOutput")
    {
        request.byLength = 0;
        request.bySlaveState = 0;
        if (slave == m_slaves.end())
            return;
        const auto& image =
            operation == "BoardReadInput" ? slave->second.inputs : slave->second.outputs;
        request.byLength = static_cast<std::uint8_t>(image.size());
        std::copy(image.begin(), image.end(), request.abyData);
        request.bySlaveState = slave->second.byState;
    }
    else if (operation == "BoardWriteOutput")
    {
        request.bySlaveState = 0;
        if (slave == m_slaves.end())
            return;
        slave->second.outputs.assign(request.abyData, request.abyData + request.byLength);
        request.bySlaveState = slave->second.byState;
    }
    else if (operation == "BoardReadSlaveStates")
    {
        request.byLength = 126;
        std::memset(request.abyData, 0, sizeof request.abyData);
        for (const auto& [byAddr, entry] : m_slaves)
            request.abyData[byAddr] = entry.byState;
    }
}

} // namespace testsupport
