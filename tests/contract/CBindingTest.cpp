// The C view and the C++ view of the public headers describe the same objects: a call made
// through the C slot tables arrives at the C++ slot of the same name with its arguments, a sink
// written in C answers the library's C++ calls, and the library's own objects give, through the
// C view, the named results that the headers promise.
#include "tests/contract/CBinding.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

using ::testing::ElementsAre;

// Notes every call with its arguments as offsets from a marker, and answers each slot with a
// number of its own.
class CRecorder
{
public:
    explicit CRecorder(char* pMarker) : m_pMarker(pMarker) {}

    std::string Offset(const void* p) const
    {
        return "+" + std::to_string(static_cast<const char*>(p) - m_pMarker);
    }
    void Note(std::string strCall) { m_aCalls.push_back(std::move(strCall)); }
    const std::vector<std::string>& Calls() const { return m_aCalls; }
    char* Marker() const { return m_pMarker; }

private:
    char* m_pMarker;
    std::vector<std::string> m_aCalls;
};

std::string QueryText(CRecorder& recorder, REFIID riid, void** ppvObject)
{
    *ppvObject = recorder.Marker();
    bool bUnknown = std::memcmp(&riid, &IID_IUnknown, sizeof(IID)) == 0;
    return std::string("QueryInterface ") + (bUnknown ? "IID_IUnknown" : "other");
}

class CRecordingJob : public IMovaJob
{
public:
    explicit CRecordingJob(CRecorder& recorder) : m_recorder(recorder) {}
    virtual ~CRecordingJob() = default;

    HRESULT MOVA_CALL QueryInterface(REFIID riid, void** ppvObject) override
    {
        m_recorder.Note(QueryText(m_recorder, riid, ppvObject));
        return 100;
    }
    ULONG MOVA_CALL AddRef() override { return Noted("AddRef", 101); }
    ULONG MOVA_CALL Release() override { return Noted("Release", 102); }
    const char* MOVA_CALL GetVersion() override
    {
        m_recorder.Note("GetVersion");
        return "recording job";
    }
    int32_t MOVA_CALL OpenJob(SProtoParams* pProtoParams, SCommParams* pCommParams,
                              int32_t nReserved) override
    {
        return Noted("OpenJob " + m_recorder.Offset(pProtoParams) + " " +
                         m_recorder.Offset(pCommParams) + " " + std::to_string(nReserved),
                     104);
    }
    int32_t MOVA_CALL CloseJob() override { return Noted("CloseJob", 105); }
    int32_t MOVA_CALL PutJob(uint32_t dwCount, SJobParam* pBuf, uint32_t dwContext) override
    {
        return Noted("PutJob " + std::to_string(dwCount) + " " + m_recorder.Offset(pBuf) + " " +
                         std::to_string(dwContext),
                     106);
    }
    int32_t MOVA_CALL SetJobNotification(IJobNotify* ptr) override
    {
        return Noted("SetJobNotification " + m_recorder.Offset(ptr), 107);
    }
    HRESULT MOVA_CALL GetProto(IMovaProto** ppProto) override
    {
        *ppProto = reinterpret_cast<IMovaProto*>(m_recorder.Marker() + 8);
        return Noted("GetProto", 108);
    }
    HRESULT MOVA_CALL Reserved(void* pReserved) override
    {
        return Noted("Reserved " + m_recorder.Offset(pReserved), 109);
    }
    int32_t MOVA_CALL EnumJobQueue(uint32_t dwValue) override
    {
        return Noted("EnumJobQueue " + std::to_string(dwValue), 110);
    }

private:
    int32_t Noted(const std::string& strCall, int32_t lAnswer)
    {
        m_recorder.Note(strCall);
        return lAnswer;
    }

    CRecorder& m_recorder;
};

class CRecordingProto : public IMovaProto
{
public:
    explicit CRecordingProto(CRecorder& recorder) : m_recorder(recorder) {}
    virtual ~CRecordingProto() = default;

    HRESULT MOVA_CALL QueryInterface(REFIID riid, void** ppvObject) override
    {
        m_recorder.Note(QueryText(m_recorder, riid, ppvObject));
        return 200;
    }
    ULONG MOVA_CALL AddRef() override { return Noted("AddRef", 201); }
    ULONG MOVA_CALL Release() override { return Noted("Release", 202); }
    const char* MOVA_CALL GetVersion() override
    {
        m_recorder.Note("GetVersion");
        return "recording proto";
    }
    int32_t MOVA_CALL Open(SProtoParams* pProtoParams, SCommParams* pCommParams) override
    {
        return Noted(
            "Open " + m_recorder.Offset(pProtoParams) + " " + m_recorder.Offset(pCommParams), 204);
    }
    int32_t MOVA_CALL Close() override { return Noted("Close", 205); }
    int32_t MOVA_CALL Read(SJobParam* pPara, uint32_t dwCount) override
    {
        return Noted("Read " + m_recorder.Offset(pPara) + " " + std::to_string(dwCount), 206);
    }
    int32_t MOVA_CALL Write(SJobParam* pPara, uint32_t dwCount) override
    {
        return Noted("Write " + m_recorder.Offset(pPara) + " " + std::to_string(dwCount), 207);
    }
    int32_t MOVA_CALL TestConnection(SJobParam* pPara) override
    {
        return Noted("TestConnection " + m_recorder.Offset(pPara), 208);
    }
    HRESULT MOVA_CALL GetTransportLayer(CDPCommunication**) override
    {
        return Noted("GetTransportLayer", 209);
    }

private:
    int32_t Noted(const std::string& strCall, int32_t lAnswer)
    {
        m_recorder.Note(strCall);
        return lAnswer;
    }

    CRecorder& m_recorder;
};

TEST(CBindingTest, EveryJobSlotCalledFromC_ArrivesAtItsCppSlotWithItsArguments)
{
    char aMarker[16] = {};
    CRecorder recorder(aMarker);
    CRecordingJob job(recorder);
    SJobAnswers answers = {};
    CallEveryJobSlot(&job, aMarker, &answers);

    EXPECT_THAT(recorder.Calls(), ElementsAre("QueryInterface IID_IUnknown", "AddRef", "Release",
                                              "GetVersion", "OpenJob +1 +2 7", "CloseJob",
                                              "PutJob 3 +3 12648430", "SetJobNotification +4",
                                              "GetProto", "Reserved +5", "EnumJobQueue 65261"));
    EXPECT_EQ(100, answers.hrQueryInterface);
    EXPECT_EQ(static_cast<void*>(aMarker), answers.pQueried);
    EXPECT_EQ(101u, answers.ulAddRef);
    EXPECT_EQ(102u, answers.ulRelease);
    EXPECT_STREQ("recording job", answers.pszVersion);
    EXPECT_EQ(104, answers.lOpenJob);
    EXPECT_EQ(105, answers.lCloseJob);
    EXPECT_EQ(106, answers.lPutJob);
    EXPECT_EQ(107, answers.lSetJobNotification);
    EXPECT_EQ(108, answers.hrGetProto);
    EXPECT_EQ(reinterpret_cast<IMovaProto*>(aMarker + 8), answers.pProto);
    EXPECT_EQ(109, answers.hrReserved);
    EXPECT_EQ(110, answers.lEnumJobQueue);
}

TEST(CBindingTest, EveryProtoSlotCalledFromC_ArrivesAtItsCppSlotWithItsArguments)
{
    char aMarker[16] = {};
    CRecorder recorder(aMarker);
    CRecordingProto proto(recorder);
    SProtoAnswers answers = {};
    CallEveryProtoSlot(&proto, aMarker, &answers);

    EXPECT_THAT(recorder.Calls(),
                ElementsAre("QueryInterface IID_IUnknown", "AddRef", "Release", "GetVersion",
                            "Open +1 +2", "Close", "Read +3 4", "Write +5 6", "TestConnection +7",
                            "GetTransportLayer"));
    EXPECT_EQ(200, answers.hrQueryInterface);
    EXPECT_EQ(201u, answers.ulAddRef);
    EXPECT_EQ(202u, answers.ulRelease);
    EXPECT_STREQ("recording proto", answers.pszVersion);
    EXPECT_EQ(204, answers.lOpen);
    EXPECT_EQ(205, answers.lClose);
    EXPECT_EQ(206, answers.lRead);
    EXPECT_EQ(207, answers.lWrite);
    EXPECT_EQ(208, answers.lTestConnection);
    EXPECT_EQ(209, answers.hrGetTransportLayer);
}

TEST(CBindingTest, SinkWrittenInC_AnswersEverySlotCalledFromCpp)
{
    char aMarker[16] = {};
    IJobNotify* pSink = CreateCSink("Mova Job V1.01", aMarker);
    ASSERT_NE(nullptr, pSink);
    void* pQueried = aMarker;
    EXPECT_EQ(E_NOINTERFACE, pSink->QueryInterface(IID_IUnknown, &pQueried));
    EXPECT_EQ(nullptr, pQueried);
    EXPECT_EQ(1u, pSink->AddRef());
    EXPECT_EQ(2u, pSink->AddRef());
    EXPECT_EQ(1u, pSink->Release());
    EXPECT_STREQ("Mova Job V1.01", pSink->GetVersion());
    EXPECT_EQ(0, pSink->OnPutJobFinished(3, reinterpret_cast<SJobParam*>(aMarker + 4), 77));
    EXPECT_EQ(1, pSink->OnEnumJob(5, reinterpret_cast<SJobParam*>(aMarker + 6), 88, 99));

    const SCSinkLog* pLog = GetCSinkLog(pSink);
    EXPECT_EQ(1, pLog->nQueryInterface);
    EXPECT_EQ(1, pLog->nGetVersion);
    EXPECT_EQ(1, pLog->lReferences);
    EXPECT_THAT(pLog->adwFinished, ElementsAre(3u, 4u, 77u));
    EXPECT_THAT(pLog->adwEnum, ElementsAre(5u, 6u, 88u, 99u));
    DestroyCSink(pSink);
}

TEST(CBindingTest, LibraryThroughTheCView_GivesTheNamedAnswers)
{
    const char* pszFailure = CheckLibraryFromC();
    EXPECT_EQ(nullptr, pszFailure) << pszFailure;
}

TEST(CBindingTest, ResultText_NamesEveryResultTheLibraryWrites)
{
    EXPECT_STREQ("done", MovaResultText(MOVA_RESULT_DONE));
    EXPECT_STREQ("outside the image", MovaResultText(-963));
    EXPECT_STREQ("null pointer", MovaResultText(-900));
    EXPECT_STREQ("no output buffer", MovaResultText(MOVA_RESULT_BOARD_ERROR(60)));
    EXPECT_STREQ("slave not exchanging data", MovaResultText(-800));
    EXPECT_STREQ("board error 0x80", MovaResultText(MOVA_RESULT_BOARD_ERROR(DPERR_BOARD_80)));
    EXPECT_STREQ("board error 0x95", MovaResultText(-822));
    EXPECT_STREQ("slave state 0", MovaResultText(MOVA_RESULT_SLAVE_STATE(0)));
    EXPECT_STREQ("slave state 5", MovaResultText(-845));
    EXPECT_STREQ("master not operational", MovaResultText(MOVA_RESULT_MASTER_MODE_BASE));
    EXPECT_STREQ("master not operational", MovaResultText(-853));
    EXPECT_STREQ("unknown board answer, or slave address outside the table", MovaResultText(-899));
    EXPECT_STREQ("slave state 4", MovaResultText(MOVA_RESULT_SLAVE_STATUS(44)));
    EXPECT_STREQ("unknown slave state", MovaResultText(-99));
    EXPECT_STREQ("protocol object not open", MovaResultText(MOVA_RESULT_NOT_OPEN));
    // Numbers the library never writes.
    for (int32_t lResult : {1, -2, -39, -46, -100, -799, -823, -839, -846, -854, -901, -1000})
        EXPECT_STREQ("unexpected result", MovaResultText(lResult)) << lResult;
    EXPECT_STREQ("no such error number", MovaErrorNumberText(23));
    EXPECT_STREQ("unknown board answer", MovaErrorNumberText(DPERR_UNKNOWN));
    EXPECT_STREQ("no error", MovaErrorNumberText(0));
}

} // namespace
