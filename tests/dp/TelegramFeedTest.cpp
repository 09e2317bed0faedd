// The parser's feed loop, as the master and the slave simulator run it over their reads: every
// telegram handed out once and in order, with the bytes of the read behind it, and a handler
// that stops the feed leaving those bytes unfed.
#include "dp/fdl/TelegramParser.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{

using Bytes = std::vector<std::uint8_t>;

// FDL status requests (SD1: 10 DA SA FC FCS 16) from station 2 to 3 and to 4.
const Bytes kTo3 = {0x10, 0x03, 0x02, 0x49, 0x4E, 0x16};
const Bytes kTo4 = {0x10, 0x04, 0x02, 0x49, 0x4F, 0x16};

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes abyAll;
    for (const Bytes& abyPart : parts)
        abyAll.insert(abyAll.end(), abyPart.begin(), abyPart.end());
    return abyAll;
}

struct STaken
{
    std::uint8_t byDa;
    std::size_t nBehind;
};

TEST(TelegramFeed, HandsOutEveryTelegramOfAReadWithTheBytesBehindIt)
{
    const Bytes abyRead = Join({{0x00, 0x33}, kTo3, {0xFF}, kTo4});
    dp::CTelegramParser parser;
    std::vector<STaken> taken;
    const auto result = parser.FeedEach(abyRead.data(), abyRead.size(),
                                        [&](const dp::STelegram& telegram, std::size_t nBehind)
                                        {
                                            taken.push_back({telegram.byDa, nBehind});
                                            return false;
                                        });
    EXPECT_EQ(result.nConsumed, abyRead.size());
    EXPECT_FALSE(result.bStopped);
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].byDa, 3);
    EXPECT_EQ(taken[0].nBehind, 1 + kTo4.size());
    EXPECT_EQ(taken[1].byDa, 4);
    EXPECT_EQ(taken[1].nBehind, 0u);
}

TEST(TelegramFeed, StopsAtTheTelegramTheHandlerWants)
{
    const Bytes abyRead = Join({kTo3, kTo4});
    dp::CTelegramParser parser;
    int nCalls = 0;
    const auto result = parser.FeedEach(abyRead.data(), abyRead.size(),
                                        [&](const dp::STelegram&, std::size_t)
                                        {
                                            ++nCalls;
                                            return true;
                                        });
    EXPECT_TRUE(result.bStopped);
    EXPECT_EQ(result.nConsumed, kTo3.size());
    EXPECT_EQ(nCalls, 1);
    EXPECT_EQ(parser.BufferedBytes(), 0u);
    // The bytes behind, fed afterwards, give the next one.
    std::uint8_t byNext = 0;
    parser.FeedEach(abyRead.data() + result.nConsumed, abyRead.size() - result.nConsumed,
                    [&](const dp::STelegram& telegram, std::size_t)
                    {
                        byNext = telegram.byDa;
                        return false;
                    });
    EXPECT_EQ(byNext, 4);
}

TEST(TelegramFeed, TelegramSplitOverReadsComesWithTheRead)
{
    dp::CTelegramParser parser;
    int nCalls = 0;
    auto count = [&](const dp::STelegram&, std::size_t)
    {
        ++nCalls;
        return false;
    };
    const auto first = parser.FeedEach(kTo3.data(), 4, count);
    EXPECT_EQ(first.nConsumed, 4u);
    EXPECT_EQ(nCalls, 0);
    parser.FeedEach(kTo3.data() + 4, 2, count);
    EXPECT_EQ(nCalls, 1);
    EXPECT_EQ(parser.BufferedBytes(), 0u);
}

TEST(TelegramFeed, IdleLineGivesWhatAnUnfinishedCandidateHid)
{
    // An SD2 head that promises more than comes, with two whole telegrams behind it.
    const Bytes abyRead = Join({{0x68, 0x20, 0x20, 0x68}, kTo3, kTo4});
    dp::CTelegramParser parser;
    int nCalls = 0;
    parser.FeedEach(abyRead.data(), abyRead.size(),
                    [&](const dp::STelegram&, std::size_t)
                    {
                        ++nCalls;
                        return false;
                    });
    ASSERT_EQ(nCalls, 0);
    std::vector<STaken> taken;
    auto takeFirst = [&](const dp::STelegram& telegram, std::size_t nBehind)
    {
        taken.push_back({telegram.byDa, nBehind});
        return true;
    };
    EXPECT_TRUE(parser.TakeEachOnIdle(takeFirst));
    EXPECT_TRUE(parser.TakeEachOnIdle(takeFirst));
    EXPECT_FALSE(parser.TakeEachOnIdle(takeFirst));
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].byDa, 3);
    EXPECT_EQ(taken[0].nBehind, 0u);
    EXPECT_EQ(taken[1].byDa, 4);
    EXPECT_EQ(parser.BufferedBytes(), 0u);
}

TEST(TelegramFeed, TelegramLeftUntakenComesFirst)
{
    dp::CTelegramParser parser;
    ASSERT_EQ(parser.Feed(kTo3.data(), kTo3.size()), kTo3.size());
    std::vector<std::uint8_t> abyOrder;
    parser.FeedEach(kTo4.data(), kTo4.size(),
                    [&](const dp::STelegram& telegram, std::size_t)
                    {
                        abyOrder.push_back(telegram.byDa);
                        return false;
                    });
    EXPECT_EQ(abyOrder, (std::vector<std::uint8_t>{3, 4}));
}

} // namespace
