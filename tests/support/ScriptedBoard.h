// A board in place of the board library: it records every call with the request as it came
// in and answers from a small plant, unless the test scripted the answer of a particular call.
#pragma once

#include "board/BoardTable.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testsupport
{

struct SScriptedSlave
{
    std::uint8_t byState = 2;
    std::vector<std::uint8_t> inputs;
    std::vector<std::uint8_t> outputs;
};

struct SBoardCall
{
    std::string operation; // "BoardReadInput", ...
    SBoardRequest request; // as the caller passed it in
};

using AnswerEdit = std::function<void(SBoardRequest&)>;

class CScriptedBoard
{
public:
    static constexpr std::uint8_t kHandle = 0x11;
    static constexpr std::uint8_t kHandleExt = 0x22;

    // Installs itself as the board; the plant holds slaves 3 (8/8), 4 (4/2) and 5 (244/244).
    CScriptedBoard();
    ~CScriptedBoard();
    CScriptedBoard(const CScriptedBoard&) = delete;
    CScriptedBoard& operator=(const CScriptedBoard&) = delete;

    // The next call of the operation gets its plant answer and then this edit; edits queue.
    void Then(const std::string& operation, AnswerEdit edit);
    // Every call of the operation from now on gets this edit after its plant answer.
    void Always(const std::string& operation, AnswerEdit edit);

    const std::vector<SBoardCall>& Calls() const { return m_calls; }
    std::vector<std::string> CallNames() const;
    void ClearCalls() { m_calls.clear(); }

    std::map<std::uint8_t, SScriptedSlave> m_slaves;
    std::uint8_t m_byMasterMode = 0xC0;
    std::uint8_t m_byFlags = 0;

private:
    static std::int32_t KORIX_CALL Dispatch(const char* pszOperation, SBoardRequest* pRequest);
    void AnswerFromPlant(const std::string& operation, SBoardRequest& request);

#define SCRIPTED_OPERATION(name, ordinal, member)                                                  \
    static std::int32_t KORIX_CALL name(SBoardRequest* pRequest)                                   \
    {                                                                                              \
        return Dispatch(#name, pRequest);                                                          \
    }
    KORIX_BOARD_OPERATIONS(SCRIPTED_OPERATION)
#undef SCRIPTED_OPERATION

    const SBoardTable* m_pPrevious;
    std::vector<SBoardCall> m_calls;
    std::map<std::string, std::deque<AnswerEdit>> m_nextEdits;
    std::map<std::string, AnswerEdit> m_alwaysEdits;
};

} // namespace testsupport
