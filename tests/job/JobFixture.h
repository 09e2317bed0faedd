// A job from the loaded library on a simulated board of this test process's own.
#pragma once

#include "sim/SimControl.h"
#include "tests/job/HostLibrary.h"
#include "tests/support/PrivateBoard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace jobtest
{

class JobFixture : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(korix::ResetBoard(1).bOk);
        m_pJob = NewJob();
        ASSERT_TRUE(m_pJob) << "cannot load " << MOVAJOB_LIBRARY;
    }

    void TearDown() override
    {
        if (m_pJob)
        {
            EXPECT_EQ(0u, m_pJob->Release());
        }
    }

    std::int32_t Open() { return m_pJob->OpenJob(&m_protoParams, &m_params, 0); }

    // Waits until the worker has taken every waiting batch (none is offered any more): the one
    // it works on has left the queue. Needs a registered sink; false after ten seconds.
    bool WaitUntilTaken(CTestSink& sink)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline)
        {
            std::size_t nOffered = sink.Offered().size();
            m_pJob->EnumJobQueue(0);
            if (sink.Offered().size() == nOffered)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    // A read of slave 3's inputs into the fixture's buffer.
    SJobParam ReadRecord()
    {
        SJobParam record{};
        record.dwCommand = JobRead;
        record.tsConSpec = m_params.aSlaves[0];
        record.tsConSpec.lpvBufferIn = m_abyIn;
        record.wBitLength = 8;
        record.pData = &m_byValue;
        return record;
    }

    IMovaJob* m_pJob = nullptr;
    SProtoParams m_protoParams{5, 0};
    SCommParams m_params = DefaultPlantParams();
    std::uint8_t m_abyIn[8] = {};
    std::uint8_t m_byValue = 0;
};

} // namespace jobtest
