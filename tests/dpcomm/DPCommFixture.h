// A communication object on board 1 against the scripted board, with its trace session opened
// up to level 420 and its lines captured.
#pragma once

#include "dpcomm/DPCommunication.h"
#include "tests/support/ScriptedBoard.h"
#include "tests/support/TraceCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace dpcommtest
{

using testsupport::CScriptedBoard;

class DPCommFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        m_pComm = std::make_unique<CDPCommunication>(1);
        tracetest::TracerPtr pControl(AttachTracer("DPCom1"));
        ASSERT_TRUE(pControl) << "another process traces as DPCom1";
        pControl->SetLevel(420);
        for (std::uint8_t byAddr : {3, 4, 5})
            AddSlaveEntry(byAddr);
        m_capture.Clear();
    }

    void AddSlaveEntry(std::uint8_t byAddr)
    {
        m_params.aSlaves[m_params.ucNumberOfDPSlaves++].byL2Addr = byAddr;
    }

    int Init(std::uint8_t byTimeWatchdog = 10)
    {
        return m_pComm->InitDPCommunication(m_params.ucNumberOfDPSlaves, m_params.aSlaves,
                                            byTimeWatchdog, &m_eError);
    }

    // The captured lines without their stamp and severity word (and the dump lines as they are).
    std::vector<std::string> Messages() const
    {
        std::vector<std::string> messages;
        for (const std::string& line : m_capture.Lines())
            messages.push_back(line.rfind("A ", 0) == 0 ? line.substr(23) : line);
        return messages;
    }

    bool Traced(const std::string& message) const
    {
        auto messages = Messages();
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }

    tracetest::CFakeClock m_clock;
    tracetest::CDebugCapture m_capture;
    CScriptedBoard m_board;
    SCommParams m_params{};
    std::unique_ptr<CDPCommunication> m_pComm;
    teErrorNumber m_eError = DPERR_UNKNOWN;
};

} // namespace dpcommtest
