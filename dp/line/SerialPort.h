// A serial port as the DP bus needs it: 8 data bits, even parity, one stop bit, raw, any
// rate (the kernel's arbitrary-rate interface, so 93.75 kbit/s and 12 Mbit/s as well as the
// classic rates), the kernel's RS-485 mode when the port offers it (the driver switches the
// transceiver to send), and the driver's low-latency setting. A pseudo-terminal works as a
// port: it takes the settings and ignores what it cannot do. On Windows the port is a COM port
// (dp/line/win32/SerialPort.cpp): no pseudo-terminals there, and no descriptor.
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
    // Opens the port to listen only: read-only, set up as Open would but without touching its
    // RS-485 mode (the transmitter is enabled only by a write, and none is ever made: Write
    // and Send fail). False with the reason.
    bool OpenListenOnly(const std::string& strPath, std::uint32_t dwBaudRate,
                        std::string& strError);
    // Makes a new pseudo-terminal pair and becomes its controlling end, set up as Open would;
    // strPeerPath is the other end, for a peer to Open. The port keeps the other end open
    // itself as well, so a peer that closes it or dies leaves no hang-up behind.
    bool OpenPseudoTerminal(std::uint32_t dwBaudRate, std::string& strPeerPath,
                            std::string& strError);
    void Close();
    bool IsOpen() const;
    const SPortFeatures& Features() const { return m_features; }
    // The port's file descriptor; -1 on Windows, where a port is a handle.
    int Descriptor() const;

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
    // Open and OpenListenOnly: a port that listens only is opened read-only where the system
    // allows, keeps its transmitter off (no RS-485 set-up; RTS low) and is never written.
    bool OpenPort(const std::string& strPath, std::uint32_t dwBaudRate, teRs485 eRs485,
                  bool bListenOnly, std::string& strError);
#ifdef _WIN32
    // HANDLEs, kept as void* so that this header needs no <windows.h>.
    void* m_hPort = nullptr;
    void* m_hReadEvent = nullptr;  // the overlapped reads' and WaitCommEvent's
    void* m_hWriteEvent = nullptr; // the overlapped writes'
    void* m_hPortMutex = nullptr;  // holds the port's name against a second open of ours
    bool m_bTimerPeriod = false;   // the system timer set to 1 ms while the port is open
    long ReadWaiting(std::uint8_t* pbyBuffer, std::size_t nCapacity);
    long WaitForBytes(std::uint8_t* pbyBuffer, std::size_t nCapacity, std::uint32_t dwMs);
    long ReadBy(std::uint8_t* pbyBuffer, std::size_t nCapacity, std::uint64_t qwDeadlineNs);
#else
    int m_fd = -1;
    int m_fdPeerHold = -1; // a pseudo-terminal's other end, held open
#endif
    bool m_bPaced = false; // a real UART, not a pseudo-terminal
    bool m_bListenOnly = false;
    SPortFeatures m_features;
};

} // namespace dp
