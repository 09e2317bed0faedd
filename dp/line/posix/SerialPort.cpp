// termios2 (asm/termbits.h) instead of <termios.h>: only it carries a rate as a number
// (BOTHER). The two headers cannot be mixed, so this file speaks to the driver with ioctls
// alone.
#include "dp/line/SerialPort.h"

#include "platform/Clock.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace dp
{

namespace
{

std::string Reason(const char* pszWhat)
{
    return std::string(pszWhat) + ": " + std::strerror(errno);
}

// The other ends of Unix 98 pseudo-terminals have the majors 136 to 143.
bool IsPseudoTerminal(int fd)
{
    struct stat info;
    if (fstat(fd, &info) != 0)
        return false;
    const unsigned uMajor = major(info.st_rdev);
    return uMajor >= 136 && uMajor <= 143;
}

bool SetLine(int fd, std::uint32_t dwBaudRate, std::uint32_t& dwActual, std::string& strError)
{
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) != 0)
    {
        strError = Reason("not a serial port");
        return false;
    }
    // Raw: no input or output processing, no echo, no signals. Characters with a parity error
    // are dropped (INPCK + IGNPAR): the telegram they belonged to fails its checks anyway.
    tio.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    tio.c_iflag |= INPCK | IGNPAR;
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    // 8 data bits, even parity, one stop bit, no flow control, the rate as a number.
    tio.c_cflag &= ~(CSIZE | PARODD | CSTOPB | CRTSCTS | CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= CS8 | PARENB | CLOCAL | CREAD | BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = dwBaudRate;
    tio.c_ospeed = dwBaudRate;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (ioctl(fd, TCSETS2, &tio) != 0)
    {
        strError = Reason("setting 8E1 at the rate");
        return false;
    }
    if (ioctl(fd, TCGETS2, &tio) != 0)
    {
        strError = Reason("reading the settings back");
        return false;
    }
    dwActual = tio.c_ospeed;
    return true;
}

// True when the port's RS-485 mode is on afterwards.
bool SetRs485(int fd, teRs485 eRs485, std::string& strError)
{
    if (eRs485 == teRs485::Off)
        return false;
    struct serial_rs485 rs485;
    std::memset(&rs485, 0, sizeof rs485);
    if (ioctl(fd, TIOCGRS485, &rs485) != 0)
    {
        if (eRs485 == teRs485::On)
            strError = Reason("the port offers no RS-485 mode");
        return false;
    }
    // The driver raises RTS (the transceiver's send enable) for each telegram and drops it
    // when the last stop bit has gone out; no delays of its own: the bus's idle times are ours.
    rs485.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    rs485.flags &= ~(SER_RS485_RTS_AFTER_SEND | SER_RS485_RX_DURING_TX);
    rs485.delay_rts_before_send = 0;
    rs485.delay_rts_after_send = 0;
    if (ioctl(fd, TIOCSRS485, &rs485) != 0)
    {
        if (eRs485 == teRs485::On)
            strError = Reason("switching the port to RS-485");
        return false;
    }
    return true;
}

bool SetLowLatency(int fd)
{
    struct serial_struct serial;
    if (ioctl(fd, TIOCGSERIAL, &serial) != 0)
        return false;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &serial) == 0;
}

} // namespace

CSerialPort::~CSerialPort()
{
    Close();
}

bool CSerialPort::IsOpen() const
{
    return m_fd >= 0;
}

int CSerialPort::Descriptor() const
{
    return m_fd;
}

bool CSerialPort::Open(const std::string& strPath, std::uint32_t dwBaudRate, teRs485 eRs485,
                       std::string& strError)
{
    return OpenPort(strPath, dwBaudRate, eRs485, false, strError);
}

bool CSerialPort::OpenListenOnly(const std::string& strPath, std::uint32_t dwBaudRate,
                                 std::string& strError)
{
    return OpenPort(strPath, dwBaudRate, teRs485::Off, true, strError);
}

bool CSerialPort::OpenPort(const std::string& strPath, std::uint32_t dwBaudRate, teRs485 eRs485,
                           bool bListenOnly, std::string& strError)
{
    Close();
    if (dwBaudRate == 0)
    {
        strError = strPath + ": baud rate 0";
        return false;
    }
    // Listening, read-only: no write can reach the line through this descriptor, whatever goes
    // wrong; and its RS-485 mode is left alone (the transmitter is enabled only by a write).
    int fd = ::open(strPath.c_str(),
                    (bListenOnly ? O_RDONLY : O_RDWR) | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
    {
        strError = Reason(strPath.c_str());
        return false;
    }
    SPortFeatures features;
    std::string strWhy;
    if (!SetLine(fd, dwBaudRate, features.dwActualBaudRate, strWhy))
    {
        strError = strPath + ": " + strWhy;
        ::close(fd);
        return false;
    }
    features.bRs485 = !bListenOnly && SetRs485(fd, eRs485, strWhy);
    if (eRs485 == teRs485::On && !features.bRs485)
    {
        strError = strPath + ": " + strWhy;
        ::close(fd);
        return false;
    }
    features.bLowLatency = SetLowLatency(fd);
    ioctl(fd, TCFLSH, bListenOnly ? TCIFLUSH : TCIOFLUSH);
    m_fd = fd;
    m_bPaced = !IsPseudoTerminal(fd);
    m_bListenOnly = bListenOnly;
    m_features = features;
    return true;
}

bool CSerialPort::OpenPseudoTerminal(std::uint32_t dwBaudRate, std::string& strPeerPath,
                                     std::string& strError)
{
    Close();
    int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0)
    {
        strError = Reason("pseudo-terminal");
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    char szName[128];
    if (::ptsname_r(fd, szName, sizeof szName) != 0)
    {
        strError = Reason("pseudo-terminal name");
        ::close(fd);
        return false;
    }
    int fdHold = ::open(szName, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    SPortFeatures features;
    std::string strWhy;
    if (fdHold < 0 || !SetLine(fdHold, dwBaudRate, features.dwActualBaudRate, strWhy))
    {
        strError = fdHold < 0 ? Reason(szName) : std::string(szName) + ": " + strWhy;
        ::close(fd);
        if (fdHold >= 0)
            ::close(fdHold);
        return false;
    }
    m_fd = fd;
    m_bPaced = false;
    m_fdPeerHold = fdHold;
    m_features = features;
    strPeerPath = szName;
    return true;
}

void CSerialPort::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_fdPeerHold >= 0)
        ::close(m_fdPeerHold);
    m_fd = -1;
    m_fdPeerHold = -1;
    m_bListenOnly = false;
    m_features = SPortFeatures{};
}

bool CSerialPort::Write(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    if (m_bListenOnly)
        return false;
    std::size_t nDone = 0;
    while (nDone < nCount)
    {
        ssize_t n = ::write(m_fd, pbyBytes + nDone, nCount - nDone);
        if (n > 0)
        {
            nDone += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
        {
            struct pollfd pfd = {m_fd, POLLOUT, 0};
            if (::poll(&pfd, 1, 1000) <= 0)
                return false;
            continue;
        }
        return false;
    }
    return true;
}

long CSerialPort::Read(std::uint8_t* pbyBuffer, std::size_t nCapacity, std::uint64_t qwTimeoutNs)
{
    // With a time to wait, poll first: right after a request nothing is there yet, and a read
    // that finds nothing is a system call for nothing. Every call counts at 12 Mbit/s.
    if (qwTimeoutNs != 0)
    {
        struct pollfd pfd = {m_fd, POLLIN, 0};
        struct timespec timeout;
        timeout.tv_sec = static_cast<time_t>(qwTimeoutNs / 1000000000u);
        timeout.tv_nsec = static_cast<long>(qwTimeoutNs % 1000000000u);
        int nReady = ::ppoll(&pfd, 1, &timeout, nullptr);
        if (nReady == 0 || (nReady < 0 && errno == EINTR))
            return 0;
        if (nReady < 0 || (pfd.revents & (POLLERR | POLLNVAL)) != 0)
            return -1;
        if ((pfd.revents & POLLIN) == 0 && (pfd.revents & POLLHUP) != 0)
            return -1;
    }
    // With VMIN and VTIME 0 a terminal answers "nothing there" with 0, not with EAGAIN; a
    // hang-up shows in the poll above.
    ssize_t n = ::read(m_fd, pbyBuffer, nCapacity);
    if (n >= 0)
        return static_cast<long>(n);
    return errno == EAGAIN || errno == EINTR ? 0 : -1;
}

void CSerialPort::DiscardInput()
{
    ioctl(m_fd, TCFLSH, TCIFLUSH);
}

bool CSerialPort::Send(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    return Write(pbyBytes, nCount);
}

namespace
{

// A wait shorter than the kernel's timer slack (50 us) would sleep far past its deadline and
// cost a wake-up besides: the master's idle times at the fast rates are a few microseconds.
// Those are waited out on the clock.
constexpr std::uint64_t kSpinNs = 20000;

} // namespace

long CSerialPort::Receive(std::uint8_t* pbyBuffer, std::size_t nCapacity,
                          std::uint64_t qwDeadlineNs)
{
    // A short wait is waited out on the clock, then whatever came is read at once.
    const std::uint64_t qwStart = platform::ReadMonotonicNs();
    if (qwDeadlineNs > qwStart && qwDeadlineNs - qwStart <= kSpinNs)
    {
        while (platform::ReadMonotonicNs() < qwDeadlineNs)
        {
        }
        return Read(pbyBuffer, nCapacity, 0);
    }
    // A signal ends the wait early (Read answers 0): wait on, so that the caller's deadline
    // holds; the caller looks at its stop request between exchanges.
    for (;;)
    {
        const std::uint64_t qwNow = platform::ReadMonotonicNs();
        const long nRead =
            Read(pbyBuffer, nCapacity, qwNow < qwDeadlineNs ? qwDeadlineNs - qwNow : 0);
        if (nRead != 0 || platform::ReadMonotonicNs() >= qwDeadlineNs)
            return nRead;
    }
}

void CSerialPort::WaitUntil(std::uint64_t qwNs)
{
    std::uint64_t qwNow = platform::ReadMonotonicNs();
    if (qwNs > qwNow && qwNs - qwNow <= kSpinNs)
    {
        while (platform::ReadMonotonicNs() < qwNs)
        {
        }
        return;
    }
    // A sleep, not a poll: bytes arriving meanwhile must not wake us, that is the point. A
    // signal ends it early; sleep on for what is left.
    while (qwNow < qwNs)
    {
        struct timespec rest;
        rest.tv_sec = static_cast<time_t>((qwNs - qwNow) / 1000000000u);
        rest.tv_nsec = static_cast<long>((qwNs - qwNow) % 1000000000u);
        ::nanosleep(&rest, nullptr);
        qwNow = platform::ReadMonotonicNs();
    }
}

long CSerialPort::Drain()
{
    std::uint8_t abyStale[256];
    long nDropped = 0;
    for (;;)
    {
        const long nRead = Read(abyStale, sizeof abyStale, 0);
        if (nRead <= 0)
            return nRead < 0 ? -1 : nDropped;
        nDropped += nRead;
    }
}

} // namespace dp
