// A MovaJob host in C++: opens a job on board 1 (or the board given as its only argument)
// of the simulated board, writes a 32-bit value into slave 3's outputs and reads it back from
// its inputs (slave 3 of the default plant mirrors its outputs), tests the connections of
// slaves 3, 4 and 5, and closes. Each batch is posted with PutJob and waited for until the
// sink's OnPutJobFinished has run.
//
// Exits 0 when everything went as expected, 1 otherwise.
#include <MovaJob.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace
{

const std::uint8_t kLoopbackSlave = 3;
// Image buffers must hold the whole image the board hands over: up to 255 bytes.
const std::size_t kImageBytes = 255;

// The host's sink. The job calls OnPutJobFinished on its worker thread, once per executed
// batch; RunBatch waits for that call on the host's thread.
class CHostSink : public IJobNotify
{
public:
    virtual ~CHostSink() = default;

    HRESULT MOVA_CALL QueryInterface(REFIID, void** ppvObject) override
    {
        *ppvObject = nullptr;
        return E_NOINTERFACE; // the library never asks
    }
    // The sink lives as long as the program: the references the job takes need no counting.
    ULONG MOVA_CALL AddRef() override { return 2; }
    ULONG MOVA_CALL Release() override { return 1; }
    const char* MOVA_CALL GetVersion() override { return MOVAJOB_VERSION; }
    int32_t MOVA_CALL OnPutJobFinished(uint32_t, SJobParam*, uint32_t dwContext) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_dwFinished = dwContext;
        m_finished.notify_one();
        return 0;
    }
    int32_t MOVA_CALL OnEnumJob(uint32_t, SJobParam*, uint32_t, uint32_t) override
    {
        return 0; // keep every waiting batch
    }

    // Posts one batch and waits at most 5 seconds until it is reported.
    bool RunBatch(IMovaJob* pJob, SJobParam* pRecords, uint32_t dwCount, uint32_t dwContext)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_dwFinished = 0;
        int32_t lPut = pJob->PutJob(dwCount, pRecords, dwContext);
        if (lPut != MOVAJOB_OK)
        {
            std::printf("PutJob answered %d\n", static_cast<int>(lPut));
            return false;
        }
        if (!m_finished.wait_for(lock, std::chrono::seconds(5),
                                 [&] { return m_dwFinished == dwContext; }))
        {
            std::printf("batch %u was not reported within 5 seconds\n",
                        static_cast<unsigned>(dwContext));
            return false;
        }
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_finished;
    uint32_t m_dwFinished = 0;
};

// The slave table holds a configured slave's lengths in the host's own entry.
const SConSpec* FindEntry(const SCommParams& comm, std::uint8_t byAddress)
{
    for (int i = 0; i < comm.ucNumberOfDPSlaves; ++i)
        if (comm.aSlaves[i].byL2Addr == byAddress)
            return &comm.aSlaves[i];
    return nullptr;
}

SJobParam Variable(uint32_t dwCommand, const SConSpec& entry, void* pInImage, void* pOutImage,
                   void* pValue)
{
    SJobParam record;
    std::memset(&record, 0, sizeof record);
    record.dwCommand = dwCommand;
    record.tsConSpec = entry;
    record.tsConSpec.lpvBufferIn = pInImage;
    record.tsConSpec.lpvBufferOut = pOutImage;
    record.wBitLength = 32;
    record.bSwap = 1; // big-endian in the image
    record.pData = pValue;
    return record;
}

bool Exchange(IMovaJob* pJob, CHostSink& sink, const SCommParams& comm)
{
    static unsigned char abyIn[kImageBytes], abyOut[kImageBytes];
    const SConSpec* pEntry = FindEntry(comm, kLoopbackSlave);
    if (!pEntry)
        return false;

    // A write sends the slave's whole output image from abyOut: first the outputs the master
    // holds for the slave go into it, or the slave's other outputs would become 0.
    std::uint8_t byAny = 0;
    SJobParam readOut = Variable(JobRead, *pEntry, nullptr, abyOut, &byAny);
    readOut.bOutBuffer = 1;
    readOut.wBitLength = 8;
    readOut.bSwap = 0;
    if (!sink.RunBatch(pJob, &readOut, 1, 4) || readOut.lResult != MOVA_RESULT_DONE)
    {
        std::printf("read of the outputs: %s\n", MovaResultText(readOut.lResult));
        return false;
    }

    uint32_t dwWritten = 0x12345678u;
    SJobParam write = Variable(JobWrite, *pEntry, nullptr, abyOut, &dwWritten);
    if (!sink.RunBatch(pJob, &write, 1, 1) || write.lResult != MOVA_RESULT_DONE)
    {
        std::printf("write: %s\n", MovaResultText(write.lResult));
        return false;
    }
    // A swapped write turns the host's own value buffer around in place.
    std::printf("wrote 0x12345678 to slave 3; the value buffer now holds 0x%08X\n",
                static_cast<unsigned>(dwWritten));

    uint32_t dwRead = 0;
    SJobParam read = Variable(JobRead, *pEntry, abyIn, nullptr, &dwRead);
    if (!sink.RunBatch(pJob, &read, 1, 2) || read.lResult != MOVA_RESULT_DONE)
    {
        std::printf("read: %s\n", MovaResultText(read.lResult));
        return false;
    }
    std::printf("read back 0x%08X from slave 3\n", static_cast<unsigned>(dwRead));
    return dwRead == 0x12345678u;
}

bool TestConnections(IMovaJob* pJob, CHostSink& sink, const SCommParams& comm)
{
    SJobParam tests[3];
    std::memset(tests, 0, sizeof tests);
    for (int i = 0; i < 3; ++i)
    {
        tests[i].dwCommand = JobTestConn;
        tests[i].tsConSpec.byL2Addr = static_cast<std::uint8_t>(3 + i);
    }
    if (!sink.RunBatch(pJob, tests, 3, 3))
        return false;
    bool bAll = true;
    for (const SJobParam& test : tests)
    {
        unsigned byAddress = test.tsConSpec.byL2Addr;
        // The status of a slave stands in the entry of its address.
        unsigned wState = comm.aSlaves[byAddress].wState;
        std::printf("slave %u: %s (status %u: %s)\n", byAddress, MovaResultText(test.lResult),
                    wState, MovaErrorNumberText(static_cast<int32_t>(wState)));
        bAll = bAll && test.lResult == MOVA_RESULT_DONE;
    }
    return bAll;
}

} // namespace

int main(int argc, char** argv)
{
    int nBoard = argc > 1 ? std::atoi(argv[1]) : 1;
    static CHostSink sink;
    static SCommParams comm; // written by the library until the job is closed
    IMovaJob* pJob = nullptr;
    if (CreateIMovaJob(&pJob) != MOVA_CREATED)
    {
        std::printf("CreateIMovaJob failed\n");
        return 1;
    }
    std::printf("%s\n", pJob->GetVersion());
    if (pJob->SetJobNotification(&sink) != MOVAJOB_OK)
    {
        std::printf("the job refused the sink\n");
        pJob->Release();
        return 1;
    }

    SProtoParams proto = {sizeof proto, 0};
    comm.dwSize = sizeof comm;
    comm.Board = nBoard;
    comm.ucNumberOfDPSlaves = 3;
    comm.aSlaves[0].byL2Addr = 3;
    comm.aSlaves[1].byL2Addr = 4;
    comm.aSlaves[2].byL2Addr = 5;
    int32_t lOpen = pJob->OpenJob(&proto, &comm, 0);
    if (lOpen != MOVAJOB_OK)
    {
        std::printf("OpenJob answered %d\n", static_cast<int>(lOpen));
        pJob->Release();
        return 1;
    }
    std::printf("board %d open; slave 3 has %u input and %u output bytes\n", nBoard,
                static_cast<unsigned>(comm.aSlaves[0].wLenIn),
                static_cast<unsigned>(comm.aSlaves[0].wLenOut));

    bool bOk = Exchange(pJob, sink, comm);
    bOk = TestConnections(pJob, sink, comm) && bOk;

    int32_t lClose = pJob->CloseJob(); // drops the sink
    if (pJob->Release() != 0 || lClose != MOVAJOB_OK)
        bOk = false;
    std::printf("%s\n", bOk ? "all done" : "FAILED");
    return bOk ? 0 : 1;
}
