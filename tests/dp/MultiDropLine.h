// A multi-drop bus line in virtual time for tests with several stations in one process: every
// endpoint is a dp::IDpLine, and what one endpoint sends reaches all the others (itself only
// when it asks for its echo), one character time per byte. Characters of two endpoints that
// share any part of a character time garble: every receiver gets corrupted bytes for both.
//
// The stations' own blocking code runs unchanged, each on a thread of its own: the clock moves
// on only when every participant (those threads and the test's own thread) waits in a line call,
// and then to the earliest deadline or byte arrival any of them waits for (a conservative
// discrete-event scheduler under one mutex). Slaves that only answer are responders instead:
// callbacks that get each telegram they receive and put their answer on the line. While the line
// lives it is the process's monotonic clock (platform/Clock.h).
//
// The test's thread reads the stations' state only between RunUntil calls: every station thread
// then waits in a line call, so nothing changes under it.
#pragma once

#include "dp/fdl/Telegram.h"
#include "dp/fdl/TelegramParser.h"
#include "dp/line/DpLine.h"

#include "platform/Clock.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace dptest
{

class CMultiDropLine
{
    struct SCharacter;

public:
    using Bytes = std::vector<std::uint8_t>;
    // A responder's view of a telegram it received: the telegram and when its last character
    // was over.
    using PFN_TELEGRAM = std::function<void(const dp::STelegram& telegram, std::uint64_t qwEndNs)>;

    class CEndpoint : public dp::IDpLine
    {
    public:
        bool Send(const std::uint8_t* pbyBytes, std::size_t nCount) override;
        long Receive(std::uint8_t* pbyBuffer, std::size_t nCapacity,
                     std::uint64_t qwDeadlineNs) override;
        void WaitUntil(std::uint64_t qwNs) override;
        long Drain() override;
        bool Paced() const override { return true; }

        // Bytes this endpoint has put on the line.
        std::uint64_t BytesSent() const;

    private:
        friend class CMultiDropLine;
        explicit CEndpoint(CMultiDropLine& line) : m_line(line) {}

        CMultiDropLine& m_line;
        std::size_t m_nIndex = 0;
        bool m_bEcho = false;
        bool m_bFailed = false;
        // Waiting in a line call: until the deadline, or until a byte arrives.
        bool m_bWaiting = false;
        bool m_bWakeOnByte = false;
        std::uint64_t m_qwWakeAtNs = 0;
        std::uint64_t m_qwTransmitEndNs = 0; // when its last character queued is over
        std::uint64_t m_qwBytesSent = 0;
        std::multimap<std::uint64_t, std::shared_ptr<SCharacter>> m_arrivals;
        // Responders only.
        PFN_TELEGRAM m_pfnTelegram;
        dp::CTelegramParser m_parser;
        std::uint64_t m_qwLastByteNs = 0;
    };

    explicit CMultiDropLine(std::uint32_t dwBaudRate);
    ~CMultiDropLine();
    CMultiDropLine(const CMultiDropLine&) = delete;
    CMultiDropLine& operator=(const CMultiDropLine&) = delete;

    // An endpoint for a station of the test; with bEcho it also reads back its own bytes.
    CEndpoint& AddEndpoint(bool bEcho = false);
    // A responder: pfnTelegram runs under the line's lock for each telegram it receives, and
    // answers with Put on its endpoint.
    CEndpoint& AddResponder(PFN_TELEGRAM pfnTelegram);
    // Puts bytes on the line from an endpoint, from a time on (not before now): from a
    // responder's callback, or from the test's thread between RunUntil calls.
    void Put(CEndpoint& endpoint, std::uint64_t qwAtNs, const Bytes& abyBytes);
    // Runs pfnBody on a thread of its own, which counts as a participant until it returns.
    void Start(CEndpoint& endpoint, std::function<void(dp::IDpLine& line)> pfnBody);
    // From now on every line call of the endpoint fails: a station that dies, or is unplugged.
    void Kill(CEndpoint& endpoint);
    // Kills the endpoint and waits for its thread to return: before what the thread uses goes.
    void Stop(CEndpoint& endpoint);

    // Lets virtual time run until qwNs; returns there once every station thread waits in a
    // line call.
    void RunUntil(std::uint64_t qwNs);
    void RunFor(std::uint64_t qwNs) { RunUntil(Now() + qwNs); }

    std::uint64_t Now() const { return m_qwNow.load(); }
    std::uint64_t CharacterNs() const { return m_qwCharacterNs; }
    std::uint64_t BitNs(std::uint64_t qwBits) const;
    // Characters that shared their time with another endpoint's.
    std::uint64_t GarbledCharacters() const;

private:
    struct SCharacter
    {
        std::uint64_t qwStartNs = 0;
        std::uint64_t qwEndNs = 0;
        std::size_t nSource = 0;
        std::uint8_t byValue = 0;
        bool bGarbled = false;
    };

    static std::uint64_t ReadNow();
    // Under the lock.
    void Transmit(CEndpoint& source, std::uint64_t qwAtNs, const std::uint8_t* pbyBytes,
                  std::size_t nCount);
    void Block(std::unique_lock<std::mutex>& lock, CEndpoint& endpoint, std::uint64_t qwUntilNs,
               bool bWakeOnByte);
    // Wakes whoever may go on, and moves the clock while every participant waits.
    void Settle();
    bool Satisfied(const CEndpoint& endpoint) const;
    void Release(CEndpoint& endpoint);
    void DeliverToResponders();
    static std::uint8_t Delivered(const SCharacter& character);

    std::uint32_t m_dwBaudRate;
    std::uint64_t m_qwCharacterNs;
    std::atomic<std::uint64_t> m_qwNow{1000000000ull};
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<std::unique_ptr<CEndpoint>> m_endpoints;
    std::map<CEndpoint*, std::thread> m_threads;
    std::deque<std::shared_ptr<SCharacter>> m_onAir; // characters not yet over, for collisions
    std::uint64_t m_qwGarbled = 0;
    std::size_t m_nParticipants = 1; // the test's thread
    std::size_t m_nWaiting = 0;
    bool m_bTestWaiting = false;
    bool m_bClosing = false;
    std::uint64_t m_qwTestUntilNs = 0;
    platform::SClockSource m_clock;
    const platform::SClockSource* m_pPreviousClock = nullptr;
};

} // namespace dptest
