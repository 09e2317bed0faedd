// A protocol object on board 1 against the scripted board (slaves 3, 4 and 5), with record
// builders and the protocol object's own lines captured.
#pragma once

#include "proto/MovaProto.h"
#include "tests/support/ScriptedBoard.h"
#include "tests/support/TraceCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace prototest
{

using testsupport::CScriptedBoard;

class ProtoFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        m_pProto = new CMovaProto;
        m_pProto->AddRef();
        m_params.dwSize = sizeof m_params;
        m_params.Board = 1;
        m_params.byTimeWatchdog = 10;
        m_params.nMaxMsg = 99;
        for (std::uint8_t byAddr : {3, 4, 5})
            m_params.aSlaves[m_params.ucNumberOfDPSlaves++].byL2Addr = byAddr;
    }

    void TearDown() override
    {
        if (m_pProto)
            m_pProto->Release();
    }

    // Opens on board 1 and lets every line of the protocol object through.
    void Open()
    {
        ASSERT_EQ(0, m_pProto->Open(&m_protoParams, &m_params));
        tracetest::TracerPtr pControl(AttachTracer("MovaProto1"));
        ASSERT_TRUE(pControl);
        pControl->SetLevel(100);
        m_capture.Clear();
        m_board.ClearCalls();
    }

    // A record on slave 3 (8 input and 8 output bytes) with the fixture's image buffers.
    SJobParam Record(std::uint32_t dwCommand, std::uint16_t wByteOffset, std::uint16_t wBitLength,
                     void* pData)
    {
        SJobParam record{};
        record.dwCommand = dwCommand;
        record.tsConSpec.byL2Addr = 3;
        record.tsConSpec.wLenIn = 8;
        record.tsConSpec.wLenOut = 8;
        record.tsConSpec.lpvBufferIn = m_abyIn;
        record.tsConSpec.lpvBufferOut = m_abyOut;
        record.wByteOffset = wByteOffset;
        record.wBitLength = wBitLength;
        record.pData = pData;
        record.lResult = 12345;
        return record;
    }

    // The protocol object's lines, without stamp and word.
    std::vector<std::string> ProtoMessages() const
    {
        std::vector<std::string> messages;
        for (const std::string& line : m_capture.Lines())
            if (line.size() > 23 && line.compare(23, 10, "CMovaProto") == 0)
                messages.push_back(line.substr(23));
        return messages;
    }

    bool Traced(const std::string& message) const
    {
        auto messages = ProtoMessages();
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }

    tracetest::CFakeClock m_clock;
    tracetest::CDebugCapture m_capture;
    CScriptedBoard m_board;
    SProtoParams m_protoParams{5, 30};
    SCommParams m_params{};
    CMovaProto* m_pProto = nullptr;
    std::uint8_t m_abyIn[8] = {};
    std::uint8_t m_abyOut[8] = {};
};

} // namespace prototest
