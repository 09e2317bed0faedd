// The other process of the simulated board's cross-process tests. It uses board argv[1] and
// takes one order per line on standard input, answering one line each:
//   register ADDR...   register with mode 2 at the addresses  -> "ok" | "error 0xNN"
//   watchdog TIME      arm the registration's watchdog         -> "ok" | "error 0xNN"
//   write ADDR HEX     write outputs                            -> "ok" | "error 0xNN"
//   read ADDR          read inputs                              -> "HEX" | "error 0xNN"
//   close              close the registration                   -> "ok" | "error 0xNN"
//   hold               take the board's lock and keep it        -> "held"
//   hold-broken        the same after breaking the state        -> "held"
//   quit
#include "board/BoardOperations.h"
#include "sim/BoardLock.h"
#include "sim/common/HexBytes.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

namespace
{

std::uint8_t g_byBoard = 1;
SBoardRequest g_registration{};

void Answer(const SBoardRequest& request, const std::string& strData = "ok")
{
    if (request.wError != 0)
        std::printf("error 0x%02X\n", request.wError);
    else
        std::printf("%s\n", strData.c_str());
    std::fflush(stdout);
}

SBoardRequest Request(std::uint8_t byAddress, std::uint8_t byLength)
{
    SBoardRequest request{};
    request.byHandle = g_registration.byHandle;
    request.byHandleExt = g_registration.byHandleExt;
    request.byL2Addr = byAddress;
    request.byLength = byLength;
    return request;
}

// Holds the lock until killed, as a process that dies in the middle of a change would.
[[noreturn]] void Hold(bool bBreak)
{
    korix::CBoardLock lock(g_byBoard);
    if (bBreak && lock.State() != nullptr)
        lock.State()->sPlant.aSlaves[3].byInputLength = 250;
    std::printf("%s\n", lock.State() != nullptr ? "held" : "failed");
    std::fflush(stdout);
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

void Execute(const std::string& strLine)
{
    std::istringstream line(strLine);
    std::string strOrder;
    line >> strOrder;
    unsigned nValue = 0;
    if (strOrder == "register")
    {
        g_registration = SBoardRequest{};
        g_registration.byHandle = g_byBoard;
        g_registration.byHandleExt = kBoardRegistrationTag;
        g_registration.byLength = kBoardSlaveCount;
        while (line >> nValue)
            g_registration.abyData[nValue % kBoardSlaveCount] = kBoardModeUsed;
        BoardRegister(&g_registration);
        Answer(g_registration);
    }
    else if (strOrder == "watchdog" && line >> nValue)
    {
        SBoardRequest request = Request(0, 1);
        request.abyData[0] = static_cast<std::uint8_t>(nValue);
        BoardSetWatchdog(&request);
        Answer(request);
    }
    else if (strOrder == "write" && line >> nValue)
    {
        std::string strHex;
        std::getline(line, strHex);
        std::vector<std::uint8_t> abyBytes;
        korix::ParseHexBytes(strHex, abyBytes);
        SBoardRequest request =
            Request(static_cast<std::uint8_t>(nValue), static_cast<std::uint8_t>(abyBytes.size()));
        if (!abyBytes.empty())
            std::memcpy(request.abyData, abyBytes.data(), abyBytes.size());
        BoardWriteOutput(&request);
        Answer(request);
    }
    else if (strOrder == "read" && line >> nValue)
    {
        SBoardRequest request = Request(static_cast<std::uint8_t>(nValue), 255);
        BoardReadInput(&request);
        std::string strHex;
        for (int i = 0; i < request.byLength; ++i)
        {
            char szByte[4];
            std::snprintf(szByte, sizeof szByte, "%02X", request.abyData[i]);
            strHex += szByte;
        }
        Answer(request, strHex);
    }
    else if (strOrder == "close")
    {
        SBoardRequest request = Request(0, 0);
        BoardClose(&request);
        Answer(request);
    }
    else if (strOrder == "hold" || strOrder == "hold-broken")
        Hold(strOrder == "hold-broken");
    else
    {
        std::printf("unknown order\n");
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        g_byBoard = static_cast<std::uint8_t>(std::atoi(argv[1]));
    std::string strLine;
    while (std::getline(std::cin, strLine) && strLine != "quit")
        Execute(strLine);
    return 0;
}
