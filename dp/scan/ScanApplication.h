// The scan as an application of an FDL station in a running token ring: each token visit it
// sends the next requests of the scan sequence (ScanSequence.h), a few at most and within the
// hold time the station gives (one at least, as every visit carries one message cycle), and
// hands the token back. The pass is bounded: a visit that finds it past its bound ends it, as
// does the owner (Abandon) while the token stays away too long.
#pragma once

#include "dp/master/LineExchange.h"
#include "dp/scan/ScanRunner.h"
#include "dp/scan/ScanSequence.h"
#include "dp/station/FdlApplication.h"

#include <cstdint>

namespace dp
{

class CScanApplication : public IFdlApplication
{
public:
    // line: the station's line (CFdlStation::Line()), so that the station sees every byte.
    CScanApplication(IDpLine& line, const SScanSettings& settings);

    bool UseToken(std::uint64_t qwHoldUntilNs) override;

    // The pass has begun (the first token came), and when.
    bool Begun() const { return m_bBegun; }
    std::uint64_t BeganAtNs() const { return m_qwBeganNs; }
    // The pass is over: done, broken off, or abandoned.
    bool Ended() const { return m_bEnded; }
    teScanEnd End() const { return m_eEnd; }
    // Ends the pass from outside (the token stayed away past the bound): no request follows.
    void Abandon(teScanEnd eEnd);

    // The pass's bound now (it grows with each slave found): every request with its own bound
    // and, before each, the token's absence allowed between two visits.
    std::uint64_t PassBoundNs() const;
    // The longest the token may stay away between two visits: twice the rotation (the longer of
    // the scanner's target rotation time and the longest real one measured) and a time-out.
    void SetAbsenceBoundNs(std::uint64_t qwNs) { m_qwAbsenceNs = qwNs; }

    std::uint32_t Visits() const { return m_dwVisits; }
    const CScanSequence& Sequence() const { return m_sequence; }
    const CLineExchange& Exchange() const { return m_exchange; }

private:
    void EndPass(teScanEnd eEnd);

    SScanSettings m_settings;
    CScanSequence m_sequence;
    CLineExchange m_exchange;
    std::uint64_t m_qwAbsenceNs = 0;
    bool m_bBegun = false;
    bool m_bEnded = false;
    teScanEnd m_eEnd = teScanEnd::Done;
    std::uint64_t m_qwBeganNs = 0;
    std::uint32_t m_dwVisits = 0;
};

} // namespace dp
