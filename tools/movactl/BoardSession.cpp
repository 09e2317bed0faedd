#include "tools/movactl/BoardSession.h"

#include "tools/common/BoardSemaphoreCheck.h"
#include "tools/common/CommandLine.h"
#include "tools/common/StopRequest.h"
#include "tools/movactl/OpenFailure.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/SlowNotice.h"

#include <cstdio>
#include <cstdlib>

namespace movactl
{

namespace
{

// Far beyond any batch on a working board, short enough that nobody waits for nothing.
constexpr std::uint32_t kBatchTimeoutMs = 20000;

// A host learns which slaves a board has only through open, which learns the image lengths of
// every slave the board lists but keeps those of configured addresses only. So without
// --slaves every address is configured; a slave with no inputs and no outputs at all cannot be
// told from an empty address and is not counted.
std::vector<std::uint8_t> EveryAddress()
{
    std::vector<std::uint8_t> abyAddresses;
    for (std::uint8_t byAddress = 1; byAddress <= 125; ++byAddress)
        abyAddresses.push_back(byAddress);
    return abyAddresses;
}

std::vector<std::uint8_t> SlavesOnBoard(const CBoardSession& session)
{
    std::vector<std::uint8_t> abySlaves;
    for (std::uint8_t byAddress = 1; byAddress <= 125; ++byAddress)
    {
        if (session.HasSlave(byAddress))
            abySlaves.push_back(byAddress);
    }
    return abySlaves;
}

} // namespace

CBoardSession::CBoardSession(const SArguments& args)
    : m_strLibrary(args.strLibrary), m_abySlaves(args.abySlaves)
{
    m_protoParams.dwSize = sizeof m_protoParams;
    m_commParams.dwSize = sizeof m_commParams;
    m_commParams.Board = args.nBoard;
    m_commParams.byTimeWatchdog = args.byWatchdog;
    m_bBoardSlaves = m_abySlaves.empty();
    std::vector<std::uint8_t> abyConfigured = m_bBoardSlaves ? EveryAddress() : m_abySlaves;
    for (std::uint8_t byAddress : abyConfigured)
    {
        m_commParams.aSlaves[m_commParams.ucNumberOfDPSlaves++].byL2Addr = byAddress;
        m_images[byAddress];
    }
}

CBoardSession::~CBoardSession()
{
    ReleaseJob();
}

void CBoardSession::ReleaseJob()
{
    if (m_pJob == nullptr)
        return;
    if (m_bOpen)
        CloseJob();
    // Only CloseJob drops a sink: a job that was never opened would keep ours past its end.
    if (m_sink.GetReferences() != 0)
        m_pJob->SetJobNotification(nullptr);
    m_pJob->Release();
    m_pJob = nullptr;
}

bool CBoardSession::Start()
{
    std::string strError;
    if (!m_library.Load(m_strLibrary, strError) ||
        (m_pJob = m_library.CreateJob(strError)) == nullptr)
    {
        std::fprintf(stderr, "movactl: %s\n", strError.c_str());
        return false;
    }
    if (!tools::CanOpenBoardSemaphore())
        std::fprintf(stderr, "movactl: %s", tools::kNoBoardSemaphoreWarning);
    if (std::int32_t lResult = RegisterSink(); lResult != 0)
    {
        std::fprintf(stderr, "movactl: the job refused our notification sink: %s\n",
                     DescribeNotifyResult(lResult).c_str());
        return false;
    }
    if (std::int32_t lResult = OpenJob(); lResult != 0)
    {
        // The numbers are board error numbers too; what stands in the way, when one is found,
        // is the likelier reading, and naming it lets the person act. Our own job holds its
        // sessions until it is gone, so it goes first.
        ReleaseJob();
        std::string strWhy = ExplainOpenFailure(m_commParams.Board, lResult);
        if (strWhy.empty())
            strWhy = DescribeOpenResult(lResult);
        std::fprintf(stderr, "movactl: cannot open board %d: OpenJob answered %d: %s\n",
                     static_cast<int>(m_commParams.Board), static_cast<int>(lResult),
                     strWhy.c_str());
        return false;
    }
    return true;
}

std::int32_t CBoardSession::OpenJob()
{
    tools::CStopRequestHeld held; // the worker that OpenJob starts inherits it
    std::int32_t lResult = 0;
    {
        CSlowNotice notice("board " + std::to_string(m_commParams.Board) + " to open (OpenJob)");
        lResult = m_pJob->OpenJob(&m_protoParams, &m_commParams, 0);
    }
    m_bOpen = lResult == 0;
    if (m_bOpen && m_bBoardSlaves)
        m_abySlaves = SlavesOnBoard(*this);
    return lResult;
}

std::int32_t CBoardSession::CloseJob()
{
    m_bOpen = false;
    CSlowNotice notice("board " + std::to_string(m_commParams.Board) +
                       " to close (CloseJob; the batch in hand ends first)");
    return m_pJob->CloseJob();
}

bool CBoardSession::RunBatch(SJobParam* pRecords, std::uint32_t dwCount, const std::string& strWhat)
{
    std::uint32_t dwContext = NewContext();
    if (std::int32_t lResult = PutBatch(pRecords, dwCount, dwContext, strWhat); lResult != 0)
    {
        std::fprintf(stderr, "movactl: PutJob refused the %s: %s\n", strWhat.c_str(),
                     DescribePutResult(lResult).c_str());
        return false;
    }
    WaitBatch(dwContext);
    return true;
}

std::int32_t CBoardSession::PutBatch(SJobParam* pRecords, std::uint32_t dwCount,
                                     std::uint32_t dwContext, const std::string& strWhat)
{
    m_whatOfContext[dwContext] = strWhat;
    std::int32_t lResult = m_pJob->PutJob(dwCount, pRecords, dwContext);
    if (lResult != 0)
        m_whatOfContext.erase(dwContext);
    return lResult;
}

void CBoardSession::WaitBatch(std::uint32_t dwContext, std::uint32_t dwSlowMs, const FnSlow& fnSlow)
{
    bool bReported = dwSlowMs < kBatchTimeoutMs && m_sink.WaitFinished(dwContext, dwSlowMs);
    if (!bReported && dwSlowMs < kBatchTimeoutMs)
    {
        if (fnSlow)
            fnSlow();
        else
            SayWaiting(dwContext);
    }
    std::uint32_t dwRestMs =
        dwSlowMs < kBatchTimeoutMs ? kBatchTimeoutMs - dwSlowMs : kBatchTimeoutMs;
    if (!bReported && !m_sink.WaitFinished(dwContext, dwRestMs))
        Abandon(dwContext);
    m_whatOfContext.erase(dwContext);
}

void CBoardSession::SayWaiting(std::uint32_t dwContext)
{
    std::fprintf(stderr, "movactl: waiting for the report of the %s (%s) ...\n",
                 WhatIs(dwContext).c_str(), WhereIs(dwContext).c_str());
    std::fflush(stderr);
}

std::string CBoardSession::WhatIs(std::uint32_t dwContext) const
{
    auto it = m_whatOfContext.find(dwContext);
    return it != m_whatOfContext.end() ? it->second : "batch";
}

std::string CBoardSession::WhereIs(std::uint32_t dwContext)
{
    // A batch waiting in the queue is offered to our sink; the one the worker runs is not.
    bool bQueued = false;
    m_sink.SetEnumHandler(
        [&](std::uint32_t, SJobParam*, std::uint32_t dwOffered)
        {
            bQueued = bQueued || dwOffered == dwContext;
            return 0;
        });
    m_pJob->EnumJobQueue(0);
    m_sink.SetEnumHandler(nullptr);
    if (m_sink.IsFinished(dwContext))
        return "put and reported just now";
    if (bQueued)
        return "put, still waiting in the job's queue behind another batch: not started";
    return "put and started: the worker is running it and the board has not answered all of it";
}

void CBoardSession::Abandon(std::uint32_t dwContext)
{
    std::fprintf(stderr,
                 "movactl: the %s was not reported within %u s (%s); leaving it to the library "
                 "and ending (the board frees the registration of an ended process)\n",
                 WhatIs(dwContext).c_str(), static_cast<unsigned>(kBatchTimeoutMs / 1000),
                 WhereIs(dwContext).c_str());
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(tools::ExitFailed);
}

SConSpec CBoardSession::GetConnection(std::uint8_t byAddress)
{
    SConSpec connection{};
    connection.byL2Addr = byAddress;
    if (const SConSpec* pEntry = FindSlave(byAddress))
    {
        connection.wLenIn = pEntry->wLenIn;
        connection.wLenOut = pEntry->wLenOut;
    }
    SImages& images = m_images[byAddress];
    connection.lpvBufferIn = images.abyIn;
    connection.lpvBufferOut = images.abyOut;
    return connection;
}

const SConSpec* CBoardSession::FindSlave(std::uint8_t byAddress) const
{
    for (std::uint8_t i = 0; i < m_commParams.ucNumberOfDPSlaves; ++i)
    {
        if (m_commParams.aSlaves[i].byL2Addr == byAddress)
            return &m_commParams.aSlaves[i];
    }
    return nullptr;
}

bool CBoardSession::HasSlave(std::uint8_t byAddress) const
{
    const SConSpec* pEntry = FindSlave(byAddress);
    return pEntry != nullptr && (pEntry->wLenIn != 0 || pEntry->wLenOut != 0);
}

std::uint16_t CBoardSession::GetStatus(std::uint8_t byAddress) const
{
    return byAddress < kSlaveTableEntries ? m_commParams.aSlaves[byAddress].wState : 0;
}

} // namespace movactl
