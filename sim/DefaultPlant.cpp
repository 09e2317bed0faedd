#include "sim/DefaultPlant.h"

#include "sim/PlantFile.h"

#include "board/BoardStates.h"

#include <cstring>
#include <string>

namespace korix
{

// Slave 3: a loopback of 8 bytes for the simplest write-and-read-back. Slave 4: inputs that
// move on their own, for a display to show something live. Slave 5: the DP maximum both ways.
const char kDefaultPlantText[] = R"({
  "comment": "The simulated board's default plant",
  "master_mode": 192,
  "slaves": [
    { "address": 3, "input_length": 8, "output_length": 8, "state": 2,
      "generators": [ { "kind": "loopback", "offset": 0, "length": 8, "source": 0 } ] },
    { "address": 4, "input_length": 8, "output_length": 4, "state": 3,
      "generators": [
        { "kind": "counter", "offset": 0, "length": 2, "period_ms": 10 },
        { "kind": "sine", "offset": 2, "length": 2, "period_ms": 10000, "amplitude": 10000 },
        { "kind": "counter", "offset": 4, "length": 2, "period_ms": 1000 },
        { "kind": "random", "offset": 6, "length": 1, "seed": 12345 },
        { "kind": "constant", "offset": 7, "length": 1, "value": 90 } ] },
    { "address": 5, "input_length": 244, "output_length": 244, "state": 2,
      "generators": [ { "kind": "loopback", "offset": 0, "length": 244 } ] }
  ]
}
)";

void InstallDefaultPlant(SPlant& plant, std::uint32_t dwNow)
{
    std::memset(&plant, 0, sizeof plant);
    std::string strError;
    // The text is ours and a test reads it back; should it ever be refused the board still
    // starts, with an operational master and no slaves.
    if (!ParsePlant(kDefaultPlantText, plant, strError))
        plant.byMasterMode = kDefaultMasterMode;
    plant.dwEpoch = dwNow;
    std::strncpy(plant.szSource, "default", sizeof plant.szSource - 1);
}

} // namespace korix
