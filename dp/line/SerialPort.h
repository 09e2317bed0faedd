// A serial port as the DP bus needs it: 8 data bits, even parity, one stop bit, raw, any
// rate (the kernel's arbitrary-rate interface, so 93.75 kbit/s and 12 Mbit/s as well as the
// classic rates), the kernel's RS-485 mode when the port offers it (the driver switches the
// transceiver to send), and the driver's low-latency setting. A pseudo-terminal works as a
// port: it takes the settings and ignores what it cannot do.
#pragma once

#include "dp/line/DpLine.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace dp
{

enum class teRs485 : std::uint8_t
{
    Auto, // on where the port offers it
    On,   // the port must offer it
    Off   // left as the port has it
};

struct SPortFeatures
{
    std::uint32_t dwActualBaudRate = 0; // what the driver reports after setting
    bool bRs485 = false;                // the kernel's RS-485 mode is on
    bool bLowLatency = false;           // the driver took the low-latency flag
};

class CSerialPort : public IDpLine
{
public:
    CSerialPort() = default;
    ~CSerialPort() override;
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens and sets up the port; false with the reason.
    bool Open(const std::string& strPath, std::uint32_t dwBaudRate, teRs485 eRs485,
              std::string& strError);
    // Makes a new pseudo-terminal pair and becomes its controlling end, set up as Open would;
    // strPeerPath is the other end, for a peer to Open. The port keeps the other end open
    // itself as well, so a peer that closes it or dies leaves no hang-up behind.
    bool OpenPseudoTerminal(std::uint32_t dwBaudRate, std::string& strPeerPath,
                            std::string& strError);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    const SPortFeatures& Features() const { return m_features; }
    int Descriptor() const { return m_fd; }

    // Writes every byte (waiting while the driver's buffer is full); false on a failure.
    bool Write(const std::uint8_t* pbyBytes, std::size_t nCount);

    // Reads what has arrived, waiting at most qwTimeoutNs for the first byte. Returns the
    // count, 0 when nothing came in time, -1 when the port failed (hung up, removed).
    long Read(std::uint8_t* pbyBuffer, std::size_t nCapacity, std::uint64_t qwTimeoutNs);

    // Drops what has arrived and not been read.
    void DiscardInput();

    // The master's view of the port.
    bool Send(const std::uint8_t* pbyBytes, std::size_t nCount) override;
    long Receive(std::uint8_t* pbyBuffer, std::size_t nCapacity,
                 std::uint64_t qwDeadlineNs) override;
    void WaitUntil(std::uint64_t qwNs) override;
    long Drain() override;
    bool Paced() const override { return m_bPaced; }

private:
    int m_fd = -1;
    int m_fdPeerHold = -1; // a pseudo-terminal's other end, held open
    bool m_bPaced = false; // a real UART, not a pseudo-terminal
    SPortFeatures m_features;
};

} // namespace dp
