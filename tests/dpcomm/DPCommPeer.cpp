// The other process of the communication tests on the simulated board. It opens board 1 with
// slaves 3, 4 and 5 and reports on standard output, one line per step.
#include "dpcomm/DPCommunication.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

void Say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

bool Open(CDPCommunication& comm, SCommParams& params)
{
    for (std::uint8_t byAddr : {3, 4, 5})
        params.aSlaves[params.ucNumberOfDPSlaves++].byL2Addr = byAddr;
    teErrorNumber eError = DPERR_NONE;
    return comm.InitDPCommunication(params.ucNumberOfDPSlaves, params.aSlaves, 0, &eError) == 1;
}

// Writes a pattern of its own each round and reads it back through the loopback inputs.
int Loop(CDPCommunication& comm, std::uint8_t byAddr, int nRounds, std::uint8_t byLength)
{
    for (int nRound = 0; nRound < nRounds; ++nRound)
    {
        std::vector<std::uint8_t> sent(byLength);
        for (std::size_t i = 0; i < sent.size(); ++i)
            sent[i] = static_cast<std::uint8_t>(nRound * 7 + i + byAddr);
        std::vector<std::uint8_t> inputs(byLength);
        teErrorNumber eError = DPERR_NONE;
        if (!comm.WriteToDPSlave(byAddr, byLength, sent.data(), &eError) ||
            !comm.ReadFromDPSlave(byAddr, inputs.data(), &eError) || inputs != sent)
        {
            Say("mismatch in round " + std::to_string(nRound) + " error " + std::to_string(eError));
            return 1;
        }
    }
    Say("ok");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    CDPCommunication comm(1);
    SCommParams params{};
    if (!Open(comm, params))
    {
        Say("open failed");
        return 1;
    }
    if (command == "loop" && argc == 4)
    {
        auto byAddr = static_cast<std::uint8_t>(std::atoi(argv[2]));
        return Loop(comm, byAddr, std::atoi(argv[3]), byAddr == 5 ? 244 : 8);
    }
    if (command == "read")
    {
        // Opening reads too: the test arms its fault only once we are open.
        Say("ready");
        char szGo[16];
        if (!std::fgets(szGo, sizeof szGo, stdin))
            return 1;
        Say("reading");
        std::uint8_t abyInputs[8];
        teErrorNumber eError = DPERR_NONE;
        Say(comm.ReadFromDPSlave(3, abyInputs, &eError) ? "done" : "failed");
        return 0;
    }
    std::fprintf(stderr, "usage: dpcomm_peer loop ADDR ROUNDS | read\n");
    return 2;
}
