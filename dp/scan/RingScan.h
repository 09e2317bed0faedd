// A scan of any line: a silent one as its only master (ScanAlone), a live one as a station of
// its token ring, by the public FDL rules:
//   - The scanner starts its own FDL station (dp/station) at its address. The station listens
//     for the time-out, learns the ring from the token telegrams, answers Request FDL Status
//     with "ready for the ring" once it has heard the token go round, and waits for its
//     predecessor's GAP maintenance to pass it the token. It sends nothing else meanwhile.
//   - Joining is bounded: a ring's master asks one address of its gap every G rotations, so
//     its whole gap (at most HSA addresses) is asked within (HSA + 1) G rotations. The scanner
//     waits that many rotations of the ring (G as SScanSettings assumes, the customary 10),
//     counted from the token telegrams heard, and two more; a line where no token goes round
//     within max(2 s, 50 TTO) has no ring to join (a master that polls without passing a
//     token). Either way nothing of the scan is sent: teScanEnd::NotTakenIn.
//   - In the ring, each token visit carries a few requests of the pass (CScanApplication).
//   - Leaving: once the pass is over the station passes the token on as always, and stops once
//     its successor has used it. It then answers nothing: its predecessor's next pass goes
//     unused, is repeated up to the retry limit, and the predecessor drops it from its LAS and
//     passes to the next station, the public way a station leaves the ring.
#pragma once

#include "dp/line/DpLine.h"
#include "dp/scan/ScanRunner.h"

namespace dp
{

// Listens first: a quiet line is scanned alone, a live one as a station of its ring.
SScanReport ScanBus(IDpLine& line, const SScanSettings& settings);

// Joins the ring of a live line for one pass and leaves it; report carries what the
// listening before heard.
void ScanOnRing(IDpLine& line, const SScanSettings& settings, SScanReport& report);

} // namespace dp
