#include "tests/sim/SimTestSupport.h"

#include "tests/support/BoardLeftovers.h"
#include "tests/support/ChildProcess.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace simtest
{

namespace
{

// Boards of parallel test processes never meet, and each process removes its own at the end.
class CSimEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        testsupport::SetEnvironmentValue("KORIXSIM_PREFIX", TestPrefix().c_str());
    }

    void TearDown() override { testsupport::RemoveBoardLeftovers(TestPrefix()); }
};

const ::testing::Environment* const g_pEnvironment =
    ::testing::AddGlobalTestEnvironment(new CSimEnvironment);

std::atomic<std::uint32_t> g_dwFakeTicks{0};

std::uint32_t ReadFakeTicks()
{
    return g_dwFakeTicks.load();
}

const platform::SClockSource kFakeClock{ReadFakeTicks, nullptr, nullptr};

std::atomic<int> g_nNextBoard{1};

} // namespace

std::string TestPrefix()
{
    return "korixtest" + std::to_string(testsupport::CurrentProcessId());
}

SBoardRequest MakeRequest(SHandle handle, std::uint8_t byAddress, std::uint8_t byLength)
{
    SBoardRequest request{};
    request.byHandle = handle.byHandle;
    request.byHandleExt = handle.byHandleExt;
    request.byL2Addr = byAddress;
    request.byLength = byLength;
    return request;
}

SBoardRequest MakeRegistration(std::uint8_t byBoard, std::initializer_list<std::uint8_t> used)
{
    SBoardRequest request = MakeRequest({byBoard, kBoardRegistrationTag}, 0, kBoardSlaveCount);
    for (std::uint8_t byAddress : used)
        request.abyData[byAddress] = kBoardModeUsed;
    return request;
}

SBoardRequest Call(PFN_BOARD_OPERATION pfnOperation, SBoardRequest request)
{
    std::int32_t nResult = pfnOperation(&request);
    EXPECT_EQ(nResult, request.wError) << "the result is the error word";
    return request;
}

SBoardRequest MakeWrite(SHandle handle, std::uint8_t byAddress,
                        const std::vector<std::uint8_t>& abyBytes)
{
    SBoardRequest request =
        MakeRequest(handle, byAddress, static_cast<std::uint8_t>(abyBytes.size()));
    if (!abyBytes.empty())
        std::memcpy(request.abyData, abyBytes.data(), abyBytes.size());
    return request;
}

std::vector<std::uint8_t> DataOf(const SBoardRequest& request)
{
    return std::vector<std::uint8_t>(request.abyData, request.abyData + request.byLength);
}

CBoardTest::CBoardTest() : m_byBoard(static_cast<std::uint8_t>(g_nNextBoard++)) {}

SHandle CBoardTest::Register(std::initializer_list<std::uint8_t> used)
{
    SBoardRequest request = Call(BoardRegister, MakeRegistration(m_byBoard, used));
    EXPECT_EQ(0, request.wError) << "registration refused";
    return SHandle{request.byHandle, request.byHandleExt};
}

std::unique_ptr<korix::SBoardSnapshot> CBoardTest::Snapshot()
{
    auto pSnapshot = std::make_unique<korix::SBoardSnapshot>();
    korix::SControlResult result = korix::ReadBoard(m_byBoard, *pSnapshot);
    EXPECT_TRUE(result.bOk) << result.szMessage;
    return pSnapshot;
}

std::vector<std::uint8_t> CBoardTest::Outputs(std::uint8_t byAddress)
{
    std::uint8_t abyOutputs[korix::kMaxDataLength];
    std::uint8_t byLength = 0;
    korix::SControlResult result =
        korix::ReadOutputBytes(m_byBoard, byAddress, abyOutputs, byLength);
    EXPECT_TRUE(result.bOk) << result.szMessage;
    return std::vector<std::uint8_t>(abyOutputs, abyOutputs + byLength);
}

CFakeClock::CFakeClock(std::uint32_t dwStart)
{
    g_dwFakeTicks = dwStart;
    m_pPrevious = platform::SetClockSource(&kFakeClock);
}

CFakeClock::~CFakeClock()
{
    platform::SetClockSource(m_pPrevious);
}

void CFakeClock::Advance(std::uint32_t dwMilliseconds)
{
    g_dwFakeTicks += dwMilliseconds;
}

} // namespace simtest
