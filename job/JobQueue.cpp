#include "job/JobQueue.h"

#include <new>

struct CJobQueue::SNode
{
    SJobParamArr batch;
    SNode* pNewer;
    SNode* pOlder;
};

bool CJobQueue::AddNewest(const SJobParamArr& batch)
{
    SNode* pNode = new (std::nothrow) SNode{batch, nullptr, m_pHead};
    if (!pNode)
        return false;
    if (m_pHead)
        m_pHead->pNewer = pNode;
    else
        m_pTail = pNode;
    m_pHead = pNode;
    ++m_nCount;
    return true;
}

bool CJobQueue::TakeOldest(SJobParamArr* pBatch)
{
    if (!m_pTail)
        return false;
    *pBatch = m_pTail->batch;
    Remove(m_pTail);
    return true;
}

void CJobQueue::Remove(SNode* pNode)
{
    (pNode->pNewer ? pNode->pNewer->pOlder : m_pHead) = pNode->pOlder;
    (pNode->pOlder ? pNode->pOlder->pNewer : m_pTail) = pNode->pNewer;
    delete pNode;
    --m_nCount;
}

void CJobQueue::Clear()
{
    while (m_pHead)
        Remove(m_pHead);
}

CJobQueue::SNode* CJobQueue::Older(const SNode* pNode)
{
    return pNode->pOlder;
}

const SJobParamArr& CJobQueue::Batch(const SNode* pNode)
{
    return pNode->batch;
}
