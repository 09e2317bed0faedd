// One job on one board as a host holds it: the loaded library, the job, our sink, the open
// parameters with their slave table, and each configured slave's image buffers.
#pragma once

#include "tools/movactl/Arguments.h"
#include "tools/movactl/JobSink.h"
#include "tools/movactl/MovaLibrary.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace movactl
{

class CBoardSession
{
public:
    explicit CBoardSession(const SArguments& args);
    ~CBoardSession(); // closes the job, drops the sink, releases the job, unloads the library
    CBoardSession(const CBoardSession&) = delete;
    CBoardSession& operator=(const CBoardSession&) = delete;

    // Loads the library, makes the job, registers the sink and opens the board; on failure it
    // says why on standard error and returns false.
    bool Start();

    std::int32_t OpenJob();
    std::int32_t CloseJob();
    std::int32_t RegisterSink() { return m_pJob->SetJobNotification(&m_sink); }

    // Puts the batch and waits for its report. A refused PutJob is said on standard error and
    // gives false. strWhat says what the batch is ("read 4:0:16 4:7:8", "connection test of
    // slaves 3, 4, 5") in the messages about it. A batch that is not reported in time still
    // holds our records, and closing the job would wait for it without a limit: then the
    // process says what is known of the batch and ends with exit code 1.
    bool RunBatch(SJobParam* pRecords, std::uint32_t dwCount, const std::string& strWhat);

    // For batches that wait in the queue: put now, wait later. Contexts come from NewContext.
    std::uint32_t NewContext() { return ++m_dwNextContext; }
    std::int32_t PutBatch(SJobParam* pRecords, std::uint32_t dwCount, std::uint32_t dwContext,
                          const std::string& strWhat);
    // Waits for the report. When it has not come within dwSlowMs, fnSlow is called once (by
    // default it says on standard error what is waited for) and the wait goes on up to the
    // batch time-out.
    using FnSlow = std::function<void()>;
    void WaitBatch(std::uint32_t dwContext, std::uint32_t dwSlowMs = kSlowBatchMs,
                   const FnSlow& fnSlow = {});
    // How long a batch may take before a person is told about the wait.
    static constexpr std::uint32_t kSlowBatchMs = 1000;
    // As dwSlowMs: fnSlow is never called.
    static constexpr std::uint32_t kNeverSlow = 0xFFFFFFFFu;
    // "movactl: waiting for the report of the read 4:0:16 (put and started: ...) ..."
    void SayWaiting(std::uint32_t dwContext);

    // The slave's connection variable for a record: lengths from the slave table, our buffers.
    SConSpec GetConnection(std::uint8_t byAddress);
    // The slave's entry in the table, where open put its lengths; null if not configured.
    const SConSpec* FindSlave(std::uint8_t byAddress) const;
    // The status number the library keeps for the slave at its address.
    std::uint16_t GetStatus(std::uint8_t byAddress) const;
    // Whether the board has a slave at the address: open learned an image length for it.
    bool HasSlave(std::uint8_t byAddress) const;

    IMovaJob* GetJob() { return m_pJob; }
    CJobSink& GetSink() { return m_sink; }
    const CMovaLibrary& GetLibrary() const { return m_library; }
    // The slaves of --slaves; without it, from a successful open on, the board's slaves.
    const std::vector<std::uint8_t>& GetSlaves() const { return m_abySlaves; }
    std::int32_t GetBoard() const { return m_commParams.Board; }
    bool IsOpen() const { return m_bOpen; }

private:
    struct SImages
    {
        // The board hands over up to 255 bytes, whatever the table says: a plant changed
        // since open must not overrun our buffers.
        std::uint8_t abyIn[255] = {};
        std::uint8_t abyOut[255] = {};
    };

    [[noreturn]] void Abandon(std::uint32_t dwContext);
    // What is known of a put batch that has not been reported: still in the queue, or taken.
    std::string WhereIs(std::uint32_t dwContext);
    std::string WhatIs(std::uint32_t dwContext) const;
    // Closes the job when open, drops our sink and gives the job back; its sessions end.
    void ReleaseJob();

    CMovaLibrary m_library;
    CJobSink m_sink;
    IMovaJob* m_pJob = nullptr;
    bool m_bOpen = false;
    std::string m_strLibrary;
    std::vector<std::uint8_t> m_abySlaves;
    bool m_bBoardSlaves = false; // no --slaves: every address configured, the board's kept
    SProtoParams m_protoParams{};
    SCommParams m_commParams{};
    std::map<std::uint8_t, SImages> m_images;
    std::uint32_t m_dwNextContext = 0;
    std::map<std::uint32_t, std::string> m_whatOfContext; // of the batches put and not reported
};

} // namespace movactl
