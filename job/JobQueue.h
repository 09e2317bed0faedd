// The queue of batches a job waits to execute: newest at the head, oldest at the tail, so that
// batches run in the order they were put. Every operation takes constant time; the caller
// holds the job's queue lock around each.
#pragma once

#include "include/MovaRecords.h"

#include <cstddef>
#include <cstdint>

// One queued batch: the host's records stay where they are, only this is copied.
struct SJobParamArr
{
    std::uint32_t dwCount;
    SJobParam* pBuf;
    std::uint32_t dwContext;
};

class CJobQueue
{
public:
    struct SNode;

    CJobQueue() = default;
    ~CJobQueue() { Clear(); }
    CJobQueue(const CJobQueue&) = delete;
    CJobQueue& operator=(const CJobQueue&) = delete;

    // false when no memory could be had for the entry; the batch is then not queued.
    bool AddNewest(const SJobParamArr& batch);
    std::size_t Count() const { return m_nCount; }
    // false when the queue is empty.
    bool TakeOldest(SJobParamArr* pBatch);
    void Remove(SNode* pNode);
    void Clear();

    // Walking from the newest towards the oldest batch.
    SNode* Newest() const { return m_pHead; }
    static SNode* Older(const SNode* pNode);
    static const SJobParamArr& Batch(const SNode* pNode);

private:
    SNode* m_pHead = nullptr;
    SNode* m_pTail = nullptr;
    std::size_t m_nCount = 0;
};
