#include "bench/PacedDpSlave.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace bench
{

namespace
{

constexpr std::uint8_t kSd1 = 0x10;
constexpr std::uint8_t kSd2 = 0x68;
constexpr std::uint8_t kEnd = 0x16;
constexpr std::uint8_t kAck = 0xE5;
constexpr std::uint8_t kExtension = 0x80; // in DA and SA: a SAP byte leads the data units
constexpr std::uint8_t kFcDataLow = 0x08; // slave's answer: data, low priority
constexpr std::uint8_t kFcStatusOk = 0x00;
constexpr std::uint8_t kFcNoService = 0x03;
constexpr std::uint8_t kRequestBit = 0x40;
constexpr std::uint8_t kFunctionFdlStatus = 9;
constexpr std::uint8_t kSapDiag = 60;
constexpr std::uint8_t kSapPrm = 61;
constexpr std::uint8_t kSapCfg = 62;
constexpr std::uint32_t kMinTsdrBits = 11;

std::uint64_t NowNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

void SleepUntil(std::uint64_t qwNs)
{
    timespec at{};
    at.tv_sec = static_cast<time_t>(qwNs / 1000000000u);
    at.tv_nsec = static_cast<long>(qwNs % 1000000000u);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) != 0)
    {
    }
}

std::uint8_t Sum(const std::uint8_t* pby, std::size_t n)
{
    unsigned uSum = 0;
    for (std::size_t i = 0; i < n; ++i)
        uSum += pby[i];
    return static_cast<std::uint8_t>(uSum);
}

std::vector<std::uint8_t> Sd1(std::uint8_t byDa, std::uint8_t bySa, std::uint8_t byFc)
{
    std::vector<std::uint8_t> aby = {kSd1, byDa, bySa, byFc, 0, kEnd};
    aby[4] = Sum(aby.data() + 1, 3);
    return aby;
}

// Units: DA SA FC [DSAP] [SSAP] data, as they go on the wire.
std::vector<std::uint8_t> Sd2(const std::vector<std::uint8_t>& abyUnits)
{
    const auto byLength = static_cast<std::uint8_t>(abyUnits.size());
    std::vector<std::uint8_t> aby(abyUnits.size() + 6);
    aby[0] = kSd2;
    aby[1] = byLength;
    aby[2] = byLength;
    aby[3] = kSd2;
    std::copy(abyUnits.begin(), abyUnits.end(), aby.begin() + 4);
    aby.resize(abyUnits.size() + 4);
    aby.push_back(Sum(abyUnits.data(), abyUnits.size()));
    aby.push_back(kEnd);
    return aby;
}

} // namespace

CPacedDpSlave::CPacedDpSlave(std::uint8_t byAddress, std::uint16_t wIdent, std::uint32_t dwBaudRate,
                             tePace ePace)
    : m_byAddress(byAddress), m_wIdent(wIdent), m_qwCharacterNs(11ull * 1000000000ull / dwBaudRate),
      m_ePace(ePace)
{
    m_fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char szName[128];
    if (m_fd < 0 || grantpt(m_fd) != 0 || unlockpt(m_fd) != 0 ||
        ptsname_r(m_fd, szName, sizeof szName) != 0)
        return;
    m_strPeerPath = szName;
    m_thread = std::thread([this] { Run(); });
}

CPacedDpSlave::~CPacedDpSlave()
{
    m_bStop.store(true);
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        close(m_fd);
}

void CPacedDpSlave::Run()
{
    // The characters' times are a few tens of microseconds: the default timer slack (50 us)
    // would stretch every one of them.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    Bytes abyStream;
    std::uint8_t abyBuffer[512];
    while (!m_bStop.load())
    {
        pollfd pfd = {m_fd, POLLIN, 0};
        if (poll(&pfd, 1, 20) <= 0)
            continue;
        const ssize_t n = read(m_fd, abyBuffer, sizeof abyBuffer);
        if (n <= 0)
            continue;
        abyStream.insert(abyStream.end(), abyBuffer, abyBuffer + n);
        while (TakeRequest(abyStream))
        {
        }
    }
}

bool CPacedDpSlave::TakeRequest(Bytes& abyStream)
{
    if (abyStream.empty())
        return false;
    std::size_t nSize = 0;
    bool bValid = false;
    const std::uint8_t* pby = abyStream.data();
    if (pby[0] == kSd1)
    {
        nSize = 6;
        if (abyStream.size() < nSize)
            return false;
        bValid = pby[4] == Sum(pby + 1, 3) && pby[5] == kEnd;
    }
    else if (pby[0] == kSd2)
    {
        if (abyStream.size() < 4)
            return false;
        nSize = pby[1] + 6u;
        if (pby[1] == pby[2] && pby[3] == kSd2 && pby[1] >= 3)
        {
            if (abyStream.size() < nSize)
                return false;
            bValid = pby[nSize - 2] == Sum(pby + 4, pby[1]) && pby[nSize - 1] == kEnd;
        }
    }
    if (!bValid)
    {
        // Not a request (a token, a stray byte, a broken frame): look from the next byte.
        abyStream.erase(abyStream.begin());
        return true;
    }
    Handle(pby);
    abyStream.erase(abyStream.begin(), abyStream.begin() + static_cast<std::ptrdiff_t>(nSize));
    return true;
}

CPacedDpSlave::Bytes CPacedDpSlave::Diagnosis(std::uint8_t byMaster, std::uint8_t byMasterSap) const
{
    // Station status 1 (bit 1: not ready), 2 (bit 0: parameters wanted, bit 2 always one),
    // 3, the master's address, the ident high byte first.
    const std::uint8_t byStatus1 = m_bConfigured ? 0x00 : 0x02;
    const std::uint8_t byStatus2 = m_bParameterised ? 0x04 : 0x05;
    return Sd2({static_cast<std::uint8_t>(byMaster | kExtension),
                static_cast<std::uint8_t>(m_byAddress | kExtension), kFcDataLow, byMasterSap,
                kSapDiag, byStatus1, byStatus2, 0x00, m_byOwner,
                static_cast<std::uint8_t>(m_wIdent >> 8), static_cast<std::uint8_t>(m_wIdent)});
}

void CPacedDpSlave::Handle(const std::uint8_t* pbyFrame)
{
    const bool bSd2 = pbyFrame[0] == kSd2;
    const std::uint8_t* pbyUnits = pbyFrame + (bSd2 ? 4 : 1);
    const std::size_t nUnits = bSd2 ? pbyFrame[1] : 3;
    const std::uint8_t byDa = pbyUnits[0];
    const std::uint8_t bySa = pbyUnits[1];
    const std::uint8_t byFc = pbyUnits[2];
    if ((byDa & 0x7F) != m_byAddress || (byFc & kRequestBit) == 0)
        return;
    const std::uint8_t byMaster = bySa & 0x7F;
    if (!bSd2)
    {
        Put((byFc & 0x0F) == kFunctionFdlStatus ? Sd1(byMaster, m_byAddress, kFcStatusOk)
                                                : Sd1(byMaster, m_byAddress, kFcNoService));
        return;
    }
    std::size_t nAt = 3;
    int nDsap = -1;
    int nSsap = -1;
    if ((byDa & kExtension) != 0 && nAt < nUnits)
        nDsap = pbyUnits[nAt++];
    if ((bySa & kExtension) != 0 && nAt < nUnits)
        nSsap = pbyUnits[nAt++];
    const std::uint8_t* pbyData = pbyUnits + nAt;
    const std::size_t nData = nUnits - nAt;
    if (nDsap == kSapDiag)
    {
        Put(Diagnosis(byMaster, static_cast<std::uint8_t>(nSsap < 0 ? 0 : nSsap)));
        return;
    }
    if (nDsap == kSapPrm)
    {
        // Set_Prm: bytes 4 and 5 are the ident number.
        if (nData >= 7 && pbyData[4] == (m_wIdent >> 8) && pbyData[5] == (m_wIdent & 0xFF))
        {
            m_bParameterised = true;
            m_bConfigured = false;
            m_byOwner = byMaster;
        }
        Put({kAck});
        return;
    }
    if (nDsap == kSapCfg)
    {
        m_bConfigured = m_bParameterised;
        Put({kAck});
        return;
    }
    if (nDsap >= 0 || !m_bConfigured)
    {
        Put(Sd1(byMaster, m_byAddress, kFcNoService));
        return;
    }
    // Data_Exchange: the outputs come back as the inputs of the next answer.
    Bytes abyUnits = {byMaster, m_byAddress, kFcDataLow};
    abyUnits.insert(abyUnits.end(), m_abyInputs, m_abyInputs + sizeof m_abyInputs);
    for (std::size_t i = 0; i < sizeof m_abyInputs; ++i)
        m_abyInputs[i] = i < nData ? pbyData[i] : 0;
    m_dwDataExchanges.fetch_add(1);
    Put(Sd2(abyUnits));
}

void CPacedDpSlave::Put(const Bytes& abyAnswer)
{
    // The answer's first character begins after the slave's min TSDR; each character can be
    // read once its last bit has come.
    const std::uint64_t qwStart = NowNs() + kMinTsdrBits * m_qwCharacterNs / 11;
    std::size_t nChunk = 1;
    if (m_ePace == tePace::AtOnce)
        nChunk = abyAnswer.size();
    else if (m_ePace == tePace::Chunks)
        nChunk = (abyAnswer.size() + 2) / 3;
    for (std::size_t nAt = 0; nAt < abyAnswer.size(); nAt += nChunk)
    {
        const std::size_t nCount = std::min(nChunk, abyAnswer.size() - nAt);
        SleepUntil(qwStart + (nAt + nCount) * m_qwCharacterNs);
        std::size_t nDone = 0;
        while (nDone < nCount)
        {
            const ssize_t n = write(m_fd, abyAnswer.data() + nAt + nDone, nCount - nDone);
            if (n > 0)
                nDone += static_cast<std::size_t>(n);
            else if (m_bStop.load())
                return;
        }
    }
}

} // namespace bench
