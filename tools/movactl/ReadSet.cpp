#include "tools/movactl/ReadSet.h"

#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"

#include <chrono>
#include <cstdio>

namespace movactl
{

CReadSet::CReadSet(CBoardSession& session, const std::vector<SVariable>& aVariables)
    : m_session(session)
{
    // Slaves in the order of their first variable; each slave's variables in their order.
    std::vector<std::uint8_t> abySlaves;
    std::vector<std::vector<SVariable>> aaBySlave;
    for (const SVariable& variable : aVariables)
    {
        std::size_t nBatch = 0;
        while (nBatch < abySlaves.size() && abySlaves[nBatch] != variable.byAddress)
            ++nBatch;
        if (nBatch == abySlaves.size())
        {
            abySlaves.push_back(variable.byAddress);
            aaBySlave.emplace_back();
        }
        m_aPlaces.push_back({nBatch, aaBySlave[nBatch].size()});
        aaBySlave[nBatch].push_back(variable);
    }
    for (std::size_t i = 0; i < abySlaves.size(); ++i)
        m_apBatches.push_back(std::make_unique<CVariableBatch>(
            std::move(aaBySlave[i]), JobRead, session.GetConnection(abySlaves[i])));
}

bool CReadSet::Read(std::uint32_t dwSlowMs, const CBoardSession::FnSlow& fnSlow)
{
    std::vector<std::uint32_t> adwPosted;
    bool bAllPosted = true;
    for (const std::unique_ptr<CVariableBatch>& pBatch : m_apBatches)
    {
        std::uint32_t dwContext = m_session.NewContext();
        if (std::int32_t lResult = m_session.PutBatch(pBatch->GetRecords(), pBatch->GetCount(),
                                                      dwContext, pBatch->Describe());
            lResult != 0)
        {
            std::fprintf(stderr, "movactl: PutJob refused the %s of slave %u: %s\n",
                         pBatch->Describe().c_str(),
                         static_cast<unsigned>(pBatch->GetRecords()[0].tsConSpec.byL2Addr),
                         DescribePutResult(lResult).c_str());
            bAllPosted = false;
            break;
        }
        adwPosted.push_back(dwContext);
    }
    // The library holds our records until each posted batch is reported. The time to be slow
    // is the whole set's, and fnSlow is called once for it.
    auto start = std::chrono::steady_clock::now();
    bool bSlowSaid = false;
    for (std::uint32_t dwContext : adwPosted)
    {
        auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        std::uint32_t dwLeftMs = bSlowSaid || elapsed.count() >= dwSlowMs
                                     ? 0
                                     : dwSlowMs - static_cast<std::uint32_t>(elapsed.count());
        m_session.WaitBatch(dwContext, bSlowSaid ? CBoardSession::kNeverSlow : dwLeftMs,
                            [&]
                            {
                                bSlowSaid = true;
                                if (fnSlow)
                                    fnSlow();
                                else
                                    m_session.SayWaiting(dwContext);
                            });
    }
    return bAllPosted;
}

const SVariable& CReadSet::GetVariable(std::size_t i) const
{
    return m_apBatches[m_aPlaces[i].nBatch]->GetVariable(m_aPlaces[i].nRecord);
}

std::int32_t CReadSet::GetResult(std::size_t i) const
{
    return m_apBatches[m_aPlaces[i].nBatch]->GetResult(m_aPlaces[i].nRecord);
}

const std::vector<std::uint8_t>& CReadSet::GetValue(std::size_t i) const
{
    return m_apBatches[m_aPlaces[i].nBatch]->GetValue(m_aPlaces[i].nRecord);
}

bool CReadSet::AnyFailed() const
{
    for (const std::unique_ptr<CVariableBatch>& pBatch : m_apBatches)
    {
        if (pBatch->AnyFailed())
            return true;
    }
    return false;
}

CTextTable CReadSet::Table() const
{
    CTextTable table = ReadTableHeading();
    for (std::size_t i = 0; i < GetCount(); ++i)
        AddReadRow(table, GetVariable(i), GetResult(i), GetValue(i));
    return table;
}

} // namespace movactl
