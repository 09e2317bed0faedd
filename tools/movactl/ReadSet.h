// The variables of one read or watch, of any number of slaves: a batch addresses one slave, so
// there is one read batch per slave. All of them are posted before any is waited for, so that
// the worker runs them back to back, and their results are shown together, in the order the
// variables were given.
#pragma once

#include "tools/movactl/BoardSession.h"
#include "tools/movactl/TextTable.h"
#include "tools/movactl/VariableBatch.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace movactl
{

class CReadSet
{
public:
    CReadSet(CBoardSession& session, const std::vector<SVariable>& aVariables);
    CReadSet(const CReadSet&) = delete;
    CReadSet& operator=(const CReadSet&) = delete;

    // Posts every slave's batch, then waits for each; false when PutJob refused one (said on
    // standard error), after the batches already posted are back. When the batches are not all
    // reported within dwSlowMs, fnSlow is called once and the wait goes on.
    bool Read(std::uint32_t dwSlowMs = CBoardSession::kSlowBatchMs,
              const CBoardSession::FnSlow& fnSlow = {});

    std::size_t GetCount() const { return m_aPlaces.size(); }
    const SVariable& GetVariable(std::size_t i) const;
    std::int32_t GetResult(std::size_t i) const;
    const std::vector<std::uint8_t>& GetValue(std::size_t i) const;
    bool AnyFailed() const;

    // variable, value, hex, result of each variable
    CTextTable Table() const;

private:
    struct SPlace
    {
        std::size_t nBatch;
        std::size_t nRecord;
    };

    CBoardSession& m_session;
    std::vector<std::unique_ptr<CVariableBatch>> m_apBatches;
    std::vector<SPlace> m_aPlaces; // per variable as given
};

} // namespace movactl
