#include "dp/scan/ScanApplication.h"

#include "dp/scan/ScanTiming.h"

#include "platform/Clock.h"

#include <algorithm>

namespace dp
{

CScanApplication::CScanApplication(IDpLine& line, const SScanSettings& settings)
    : m_settings(settings),
      m_sequence(settings.byOwnAddress, settings.byHighestAddress, settings.bus.dwRetryLimit),
      m_exchange(line, settings.bus, settings.dwResponseAllowanceUs, settings.byOwnAddress)
{
}

std::uint64_t CScanApplication::PassBoundNs() const
{
    const std::uint32_t nAddresses = m_settings.byHighestAddress + 1u;
    // The slave asked now counted already.
    std::uint32_t nSlaves = 1;
    for (const SScannedStation& station : m_sequence.Stations())
        nSlaves += station.IsMaster() ? 0 : 1;
    // Every visit carries one request at least, so there are no more absences than requests.
    const std::uint64_t qwRequests =
        (1ull + m_settings.bus.dwRetryLimit) * (nAddresses + 2ull * nSlaves);
    return ScanPassBoundNs(m_settings.bus, m_settings.dwResponseAllowanceUs, nAddresses, nSlaves) +
           qwRequests * m_qwAbsenceNs;
}

void CScanApplication::Abandon(teScanEnd eEnd)
{
    if (!m_bEnded)
        EndPass(eEnd);
}

void CScanApplication::EndPass(teScanEnd eEnd)
{
    m_bEnded = true;
    m_eEnd = eEnd;
}

bool CScanApplication::UseToken(std::uint64_t qwHoldUntilNs)
{
    if (m_bEnded)
        return true; // passed on unused: the station leaves once it has
    const std::uint64_t qwNow = platform::ReadMonotonicNs();
    if (!m_bBegun)
    {
        m_bBegun = true;
        m_qwBeganNs = qwNow;
    }
    ++m_dwVisits;
    const std::uint32_t dwMost = std::max<std::uint32_t>(1, m_settings.dwRequestsPerVisit);
    SScanRequest next;
    STelegram answer;
    for (std::uint32_t n = 0; n < dwMost; ++n)
    {
        if (n > 0 && platform::ReadMonotonicNs() >= qwHoldUntilNs)
            break;
        if (platform::ReadMonotonicNs() - m_qwBeganNs > PassBoundNs())
        {
            EndPass(teScanEnd::OutOfTime);
            break;
        }
        if (!m_sequence.Next(next))
        {
            EndPass(teScanEnd::Done);
            break;
        }
        const teOutcome eOutcome = m_exchange.Transact(next.request, next.expectation, answer);
        if (eOutcome == teOutcome::LineFailed)
        {
            EndPass(teScanEnd::LineFailed);
            return false;
        }
        if (eOutcome == teOutcome::LineBusy)
        {
            // Another station sends while we hold the token: the ring is not what it seemed.
            EndPass(teScanEnd::LineBusy);
            break;
        }
        m_sequence.Take(eOutcome, answer);
        if (m_sequence.Done())
        {
            EndPass(teScanEnd::Done);
            break;
        }
    }
    return true;
}

} // namespace dp
