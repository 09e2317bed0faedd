#include "tools/movactl/Demo.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"

#include <cstdio>
#include <string_view>

namespace movactl
{

namespace
{

struct SQueuedBatch
{
    const char* pszName;
    const char* pszWhat;
    CVariableBatch* pBatch;
    std::uint32_t dwContext;
    bool bPut = false;
};

constexpr const char* kWithdrawn = "B";

std::string NameOf(const std::vector<SQueuedBatch>& aQueued, std::uint32_t dwContext)
{
    for (const SQueuedBatch& queued : aQueued)
    {
        if (queued.dwContext == dwContext)
            return queued.pszName;
    }
    return "";
}

// Withdraws batch B as EnumJobQueue offers it; notes the order of the offers.
std::string EnumerateQueue(CBoardSession& session, const std::vector<SQueuedBatch>& aQueued)
{
    std::string strOffered;
    session.GetSink().SetEnumHandler(
        [&](std::uint32_t, SJobParam*, std::uint32_t dwContext)
        {
            std::string strName = NameOf(aQueued, dwContext);
            strOffered += (strOffered.empty() ? "" : ", ") + strName;
            return strName == kWithdrawn ? 1 : 0;
        });
    session.GetJob()->EnumJobQueue(0);
    session.GetSink().SetEnumHandler(nullptr);
    return strOffered;
}

std::string FinishedOf(CBoardSession& session, const std::vector<SQueuedBatch>& aQueued)
{
    std::string strFinished;
    for (std::uint32_t dwContext : session.GetSink().GetFinished())
    {
        std::string strName = NameOf(aQueued, dwContext);
        if (!strName.empty())
            strFinished += (strFinished.empty() ? "" : ", ") + strName;
    }
    return strFinished;
}

// Closing stops the worker and drops our sink; the sink is registered again at once, so that
// the batches are reported when they run.
bool CloseForQueueing(CBoardSession& session)
{
    std::int32_t lClose = session.CloseJob();
    unsigned uReferences = session.GetSink().GetReferences();
    std::int32_t lSink = session.RegisterSink();
    Say("CloseJob answered " + DescribeCloseResult(lClose) +
        " and let go of our sink (the job now holds " + std::to_string(uReferences) +
        " references\nto it); SetJobNotification registered it again: " +
        DescribeNotifyResult(lSink) + ".");
    return lClose == 0 && uReferences == 0 && lSink == 0;
}

} // namespace

bool ShowQueue(CBoardSession& session, int nStep)
{
    SayStep(nStep, "Queue batches and withdraw one");
    if (!HasPlantSlave(session, 3, 8, 8))
        return false;
    Say("A closed job takes batches but runs none: they wait in its queue, where EnumJobQueue\n"
        "shows them to our sink, which can withdraw one by answering 1.");
    bool bAsExpected = CloseForQueueing(session);

    CVariableBatch first = MakeReadBatch(session, ParseReads({"3:0:64"}));
    CVariableBatch withdrawn = MakeWriteBatch(session, ParseWrites({"3:0:8=0xEE"}));
    CVariableBatch last = MakeReadBatch(session, ParseReads({"3:0:8"}));
    std::vector<SQueuedBatch> aQueued{
        {"A", "reads slave 3's inputs", &first, session.NewContext()},
        {kWithdrawn, "writes 0xEE to slave 3's byte 0", &withdrawn, session.NewContext()},
        {"C", "reads slave 3's byte 0", &last, session.NewContext()}};
    for (SQueuedBatch& queued : aQueued)
    {
        std::int32_t lPut = session.PutBatch(queued.pBatch->GetRecords(), queued.pBatch->GetCount(),
                                             queued.dwContext, queued.pBatch->Describe());
        queued.bPut = lPut == 0;
        bAsExpected = bAsExpected && queued.bPut;
        Say(std::string("PutJob: batch ") + queued.pszName + " " + queued.pszWhat + ": " +
            DescribePutResult(lPut));
    }
    std::string strOffered = EnumerateQueue(session, aQueued);
    Say("EnumJobQueue offered the waiting batches newest first: " + strOffered +
        ". Our sink answered 1\nfor batch B, which took it out of the queue.");

    if (std::int32_t lOpen = session.OpenJob(); lOpen != 0)
    {
        Say("OpenJob failed again: " + DescribeOpenResult(lOpen));
        return false;
    }
    for (const SQueuedBatch& queued : aQueued)
    {
        if (queued.bPut && std::string_view(queued.pszName) != kWithdrawn)
            session.WaitBatch(queued.dwContext);
    }
    std::string strFinished = FinishedOf(session, aQueued);
    bool bByteKept = last.GetResult(0) == MOVA_RESULT_DONE && last.GetValue(0)[0] != 0xEE;
    char szByte[8];
    std::snprintf(szByte, sizeof szByte, "0x%02X", last.GetValue(0)[0]);
    Say("OpenJob started a new worker, which ran what was left. OnPutJobFinished reported: " +
        strFinished + ".\nBatch B's record still says '" + DescribeResult(withdrawn.GetResult(0)) +
        "', and slave 3's byte 0 reads " + szByte +
        (bByteKept ? ", not 0xEE:\nthe withdrawn write never reached the board."
                   : ": not what was expected."));
    return bAsExpected && strOffered == "C, B, A" && strFinished == "A, C" &&
           withdrawn.GetResult(0) == kResultNotRun && bByteKept;
}

} // namespace movactl
