// A DP slave on the controlling end of a pseudo-terminal that answers the way a real line
// delivers an answer: each character only once its 11 bits could have passed at the bus rate,
// or in a few chunks, as a USB adapter hands over what it gathered. The master's receive path
// is then woken as often as a real port would wake it, which a peer that writes each answer at
// once (the slave simulator) never does.
//
// Written for the benchmark from the telegram layouts (SD1 10 DA SA FC FCS 16, SD2 68 LE LEr 68
// DA SA FC [DSAP] [SSAP] data FCS 16, E5): it shares nothing with the master's telegram code.
// It serves one slave with 8 input and 8 output bytes that loops its outputs back as inputs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace bench
{

enum class tePace : std::uint8_t
{
    AtOnce,       // the whole answer in one write
    PerCharacter, // one character per character time
    Chunks        // three chunks, each when its last character could have come
};

class CPacedDpSlave
{
public:
    CPacedDpSlave(std::uint8_t byAddress, std::uint16_t wIdent, std::uint32_t dwBaudRate,
                  tePace ePace);
    ~CPacedDpSlave();
    CPacedDpSlave(const CPacedDpSlave&) = delete;
    CPacedDpSlave& operator=(const CPacedDpSlave&) = delete;

    // The pseudo-terminal end for the master; empty when it could not be made.
    const std::string& PeerPath() const { return m_strPeerPath; }
    std::uint32_t DataExchanges() const { return m_dwDataExchanges.load(); }

private:
    using Bytes = std::vector<std::uint8_t>;
    void Run();
    // Takes whole telegrams off the front of the stream; false when more bytes are needed.
    bool TakeRequest(Bytes& abyStream);
    void Handle(const std::uint8_t* pbyFrame);
    Bytes Diagnosis(std::uint8_t byMaster, std::uint8_t byMasterSap) const;
    void Put(const Bytes& abyAnswer);

    std::uint8_t m_byAddress;
    std::uint16_t m_wIdent;
    std::uint64_t m_qwCharacterNs;
    tePace m_ePace;
    int m_fd = -1;
    std::string m_strPeerPath;
    bool m_bParameterised = false;
    bool m_bConfigured = false;
    std::uint8_t m_byOwner = 0xFF;
    std::uint8_t m_abyInputs[8] = {};
    std::atomic<std::uint32_t> m_dwDataExchanges{0};
    std::atomic<bool> m_bStop{false};
    std::thread m_thread;
};

} // namespace bench
