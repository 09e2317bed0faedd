// The queue itself: oldest out first, removal from the middle, and clearing.
#include "job/JobQueue.h"

#include <gtest/gtest.h>

namespace
{

std::vector<std::uint32_t> Walk(const CJobQueue& queue)
{
    std::vector<std::uint32_t> contexts;
    for (CJobQueue::SNode* pNode = queue.Newest(); pNode; pNode = CJobQueue::Older(pNode))
        contexts.push_back(CJobQueue::Batch(pNode).dwContext);
    return contexts;
}

TEST(JobQueueUnitTest, OldestFirstAndRemovalAnywhere)
{
    CJobQueue queue;
    SJobParam record{};
    for (std::uint32_t i = 1; i <= 4; ++i)
        ASSERT_TRUE(queue.AddNewest({1, &record, i}));
    EXPECT_EQ((std::vector<std::uint32_t>{4, 3, 2, 1}), Walk(queue));

    queue.Remove(CJobQueue::Older(queue.Newest())); // 3
    queue.Remove(queue.Newest());                   // 4
    EXPECT_EQ((std::vector<std::uint32_t>{2, 1}), Walk(queue));

    SJobParamArr batch{};
    ASSERT_TRUE(queue.TakeOldest(&batch));
    EXPECT_EQ(1u, batch.dwContext);
    EXPECT_EQ(&record, batch.pBuf);
    ASSERT_TRUE(queue.TakeOldest(&batch));
    EXPECT_EQ(2u, batch.dwContext);
    EXPECT_FALSE(queue.TakeOldest(&batch));
    EXPECT_EQ(0u, queue.Count());

    ASSERT_TRUE(queue.AddNewest({1, &record, 5}));
    ASSERT_TRUE(queue.AddNewest({1, &record, 6}));
    queue.Clear();
    EXPECT_EQ(0u, queue.Count());
    EXPECT_EQ(nullptr, queue.Newest());
    ASSERT_TRUE(queue.AddNewest({1, &record, 7}));
    EXPECT_EQ((std::vector<std::uint32_t>{7}), Walk(queue));
}

} // namespace
