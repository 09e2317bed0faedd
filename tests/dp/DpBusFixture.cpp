#include "tests/dp/DpBusFixture.h"

#include "dp/files/BusFiles.h"

#include <chrono>
#include <fstream>

namespace dptest
{

const char* const kThreeSlaves = R"({
  "slaves": [
    { "address": 3, "ident": 4660, "user_prm": "01 02", "config": "17 27",
      "generators": [ { "kind": "loopback", "offset": 0, "length": 8 } ] },
    { "address": 4, "ident": 22136, "config": "17 23",
      "inputs": "00 00 11 22 33 44 55 66",
      "generators": [ { "kind": "counter", "offset": 0, "length": 2, "period_ms": 1 } ] },
    { "address": 5, "ident": 43981, "config": "C0 BF BF C0 BF BF C0 BF BF C0 B3 B3",
      "generators": [ { "kind": "loopback", "offset": 0, "length": 244 } ] }
  ]
})";

// Slave 5's configuration: four special identifiers 0xC0, each with an output and an input
// length byte: 0xBF is 64 consistent bytes, 0xB3 is 52; 3 x 64 + 52 = 244 each way.
const char* const kThreeSlavesBus = R"({
  "baud_rate": 1500000,
  "master_address": 2,
  "response_allowance_us": 100000,
  "restart_interval_ms": 20,
  "slaves": [
    { "address": 3, "ident": 4660, "user_prm": "01 02", "config": "17 27", "watchdog_ms": 2000,
      "input_length": 8, "output_length": 8 },
    { "address": 4, "ident": 22136, "config": "17 23", "input_length": 8, "output_length": 4 },
    { "address": 5, "ident": 43981, "config": "C0 BF BF C0 BF BF C0 BF BF C0 B3 B3",
      "input_length": 244, "output_length": 244 }
  ]
})";

std::string WriteTempFile(const std::string& strName, const std::string& strText)
{
    std::string strPath = testing::TempDir() + testsupport::UniqueName(strName.c_str());
    std::ofstream file(strPath);
    file << strText;
    return strPath;
}

void CDpBusTest::StartBus(const std::string& strSlaves, const std::string& strBus)
{
    const std::string strSlaveFile = WriteTempFile("dpslaves.json", strSlaves);
    m_pSlaves = std::make_unique<testsupport::CChildProcess>(
        std::vector<std::string>{DPSLAVE, "--pty", "--slaves", strSlaveFile});
    ASSERT_TRUE(m_pSlaves->IsRunning());
    std::string strLine;
    ASSERT_TRUE(m_pSlaves->ReadLine(strLine));
    const std::string strOn = " on ";
    ASSERT_NE(strLine.find(strOn), std::string::npos) << strLine;
    m_strPeer = strLine.substr(strLine.rfind(strOn) + strOn.size());

    dp::SMasterConfig config;
    std::string strError;
    ASSERT_TRUE(dp::ParseBusFile(strBus, config, strError)) << strError;
    m_pPort = std::make_unique<dp::CSerialPort>();
    ASSERT_TRUE(m_pPort->Open(m_strPeer, config.bus.dwBaudRate, dp::teRs485::Auto, strError))
        << strError;
    m_pMaster = std::make_unique<dp::CDpMaster>(*m_pPort, config);
    m_pMaster->SetMode(MasterOperate);
}

void CDpBusTest::TearDown()
{
    m_pMaster.reset();
    m_pPort.reset();
    if (m_pSlaves)
    {
        m_pSlaves->Kill(SIGTERM);
        m_pSlaves->Wait();
    }
}

bool CDpBusTest::RunUntil(const std::function<bool()>& condition)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end)
    {
        if (!m_pMaster->RunCycle())
            return false;
        if (condition())
            return true;
    }
    return false;
}

void CDpBusTest::RunCycles(int nCycles)
{
    for (int i = 0; i < nCycles; ++i)
        ASSERT_TRUE(m_pMaster->RunCycle());
}

std::string CDpBusTest::Command(const std::string& strLine)
{
    std::string strAnswer;
    if (!m_pSlaves->WriteLine(strLine) || !m_pSlaves->ReadLine(strAnswer))
        return "(no answer)";
    return strAnswer;
}

const dp::SMasterSlaveState& CDpBusTest::Slave(std::uint8_t byAddress)
{
    int nIndex = m_pMaster->FindSlave(byAddress);
    EXPECT_GE(nIndex, 0);
    return m_pMaster->Slave(static_cast<std::size_t>(nIndex < 0 ? 0 : nIndex));
}

bool CDpBusTest::AllExchanging()
{
    for (std::size_t i = 0; i < m_pMaster->SlaveCount(); ++i)
    {
        if (m_pMaster->Slave(i).eState != SlaveDataExchange)
            return false;
    }
    return true;
}

} // namespace dptest
