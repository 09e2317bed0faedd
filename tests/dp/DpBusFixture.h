// A bus for tests: korix-dpslave runs as a real process on one end of a pseudo-terminal pair,
// a CDpMaster of the test on the other end. The slave simulator's commands (faults, its view
// of the outputs) go through its standard input.
#pragma once

#include "dp/line/SerialPort.h"
#include "dp/master/DpMaster.h"

#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace dptest
{

// Three slaves shaped like the simulated board's default plant: 3 with 8 bytes each way,
// looping the outputs back; 4 with 8 inputs (a counter in bytes 0-1) and 4 outputs; 5 with
// 244 bytes each way, looped back.
extern const char* const kThreeSlaves;
// The bus file that matches kThreeSlaves.
extern const char* const kThreeSlavesBus;

// Writes text to a new file in the test's temporary folder and returns its path.
std::string WriteTempFile(const std::string& strName, const std::string& strText);

class CDpBusTest : public testing::Test
{
protected:
    // Starts the slave simulator with the slave file's text and a master with the bus file's.
    void StartBus(const std::string& strSlaves, const std::string& strBus);
    void TearDown() override;

    // Runs master cycles until the condition holds (true) or 20 s pass (false).
    bool RunUntil(const std::function<bool()>& condition);
    // Runs n cycles.
    void RunCycles(int nCycles);
    // A command line to the slave simulator; its answer line.
    std::string Command(const std::string& strLine);

    const dp::SMasterSlaveState& Slave(std::uint8_t byAddress);
    bool AllExchanging();

    std::unique_ptr<testsupport::CChildProcess> m_pSlaves;
    std::unique_ptr<dp::CSerialPort> m_pPort;
    std::unique_ptr<dp::CDpMaster> m_pMaster;
    std::string m_strPeer;
};

} // namespace dptest
