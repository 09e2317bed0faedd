#include "tools/korixsim/ShowBoard.h"

#include "sim/ServedBoard.h"
#include "sim/Watchdog.h"

#include "include/MovaResults.h"

#include <cstdio>
#include <cstring>

namespace korixsim
{

namespace
{

constexpr std::size_t kBytesPerRow = 16;

std::string Format(const char* pszFormat, auto... args)
{
    char szText[256];
    std::snprintf(szText, sizeof szText, pszFormat, args...);
    return szText;
}

// "the next call", "the next 2 calls"; the verb after it takes VerbEnding.
std::string NextCalls(std::uint32_t dwCount)
{
    return dwCount == 1 ? "the next call" : "the next " + std::to_string(dwCount) + " calls";
}

const char* VerbEnding(std::uint32_t dwCount)
{
    return dwCount == 1 ? "s" : "";
}

// "1 input byte", "8 input bytes".
std::string Bytes(unsigned nCount, const char* pszKind)
{
    return Format("%u %s %s", nCount, pszKind, nCount == 1 ? "byte" : "bytes");
}

std::string Range(unsigned nFirst, unsigned nLength)
{
    return Format("%u..%u", nFirst, nFirst + nLength - 1);
}

std::string DescribeGenerator(const korix::SGenerator& generator)
{
    std::string strRange = Range(generator.byOffset, generator.byLength);
    unsigned long long qwValue =
        static_cast<unsigned long long>(generator.dwValueHigh) << 32 | generator.dwValueLow;
    switch (generator.byKind)
    {
    case korix::GenConstant:
        return Format("constant %s = 0x%llX", strRange.c_str(), qwValue);
    case korix::GenCounter:
        return Format("counter  %s +%u per %u ms from %llu", strRange.c_str(), generator.dwStep,
                      generator.dwPeriodMs, qwValue);
    case korix::GenSine:
        return Format("sine     %s %d +/- %d, period %u ms", strRange.c_str(), generator.nCenter,
                      generator.nAmplitude, generator.dwPeriodMs);
    case korix::GenLoopback:
        return Format("loopback %s <- outputs %s", strRange.c_str(),
                      Range(generator.bySource, generator.byLength).c_str());
    case korix::GenRandom:
        return Format("random   %s", strRange.c_str());
    default:
        return Format("unknown kind %u", generator.byKind);
    }
}

std::string ModesText(const korix::SRegistration& registration)
{
    std::string strUsed;
    for (std::uint8_t byAddress = 0; byAddress < kBoardSlaveCount; ++byAddress)
    {
        if (registration.abyModes[byAddress] == kBoardModeUsed)
            strUsed += Format(" %u", byAddress);
    }
    return strUsed.empty() ? " none" : strUsed;
}

std::string WatchdogText(const korix::SRegistration& registration, std::uint32_t dwNow)
{
    if (registration.byExpired != 0)
        return "EXPIRED (outputs of its slaves at 0 until set again)";
    if (registration.byWatchdogTime == 0)
        return "off";
    return Format("%u = %u ms, last exchange %u ms ago", registration.byWatchdogTime,
                  registration.byWatchdogTime * korix::kWatchdogUnitMs,
                  dwNow - registration.dwLastExchange);
}

void AppendRegistrations(std::string& strText, const korix::SBoardSnapshot& snapshot)
{
    const korix::SBoardState& state = snapshot.sState;
    unsigned nInUse = 0;
    for (const korix::SRegistration& registration : state.aRegistrations)
        nInUse += registration.byInUse != 0;
    strText += Format("Registrations: %u of %u\n", nInUse, korix::kMaxRegistrations);
    for (std::uint8_t bySlot = 0; bySlot < korix::kMaxRegistrations; ++bySlot)
    {
        const korix::SRegistration& registration = state.aRegistrations[bySlot];
        if (registration.byInUse == 0)
            continue;
        strText += Format("  handle %02X:%02X  pid %d (%s)\n", state.byBoard,
                          registration.byGeneration << 3 | bySlot, registration.nPid,
                          snapshot.abOwnerAlive[bySlot] ? "running" : "ended");
        strText += "    watchdog " + WatchdogText(registration, snapshot.dwNow) + "\n";
        strText += "    mode 2 at" + ModesText(registration) + "\n";
    }
}

void AppendBytes(std::string& strText, const char* pszLabel, const std::uint8_t* pbyBytes,
                 std::size_t nCount)
{
    if (nCount == 0)
    {
        strText += Format("    %-8s none\n", pszLabel);
        return;
    }
    // Rows like the one before are left out, as hexdump does, so 244 zeros take three lines.
    bool bSkipping = false;
    for (std::size_t nRow = 0; nRow < nCount; nRow += kBytesPerRow)
    {
        std::size_t nRowCount = nCount - nRow < kBytesPerRow ? nCount - nRow : kBytesPerRow;
        bool bLast = nRow + kBytesPerRow >= nCount;
        if (nRow != 0 && !bLast && nRowCount == kBytesPerRow &&
            std::memcmp(pbyBytes + nRow, pbyBytes + nRow - kBytesPerRow, kBytesPerRow) == 0)
        {
            if (!bSkipping)
                strText += Format("    %-8s *\n", "");
            bSkipping = true;
            continue;
        }
        bSkipping = false;
        strText += Format("    %-8s %03zu: ", nRow == 0 ? pszLabel : "", nRow) +
                   HexLine(pbyBytes + nRow, nRowCount) + "\n";
    }
}

void AppendSlaves(std::string& strText, const korix::SPlant& plant)
{
    unsigned nSlaves = 0;
    for (const korix::SBoardSlave& slave : plant.aSlaves)
        nSlaves += slave.byPresent != 0;
    strText += Format("Slaves: %u\n", nSlaves);
    for (std::uint8_t byAddress = 0; byAddress < kBoardSlaveCount; ++byAddress)
    {
        const korix::SBoardSlave& slave = plant.aSlaves[byAddress];
        if (slave.byPresent == 0)
            continue;
        strText +=
            Format("  address %u: state %u (%s), %s, %s\n", byAddress, slave.byState,
                   MovaSlaveStateText(slave.byState), Bytes(slave.byInputLength, "input").c_str(),
                   Bytes(slave.byOutputLength, "output").c_str());
        for (std::uint8_t i = 0; i < slave.byGeneratorCount && i < korix::kMaxGenerators; ++i)
            strText += "    generator " + DescribeGenerator(slave.aGenerators[i]) + "\n";
        AppendBytes(strText, "inputs", slave.abyInput, slave.byInputLength);
        AppendBytes(strText, "outputs", slave.abyOutput, slave.byOutputLength);
    }
}

void AppendFaults(std::string& strText, const korix::SBoardState& state)
{
    std::string strFaults;
    for (std::uint8_t i = 0; i < korix::OpCount; ++i)
    {
        const korix::SFault& fault = state.aFaults[i];
        const char* pszName = korix::OperationName(static_cast<korix::teOperation>(i));
        if (fault.dwErrorCount != 0)
            strFaults +=
                Format("  %s: %s answer%s 0x%02X (%s)\n", pszName,
                       NextCalls(fault.dwErrorCount).c_str(), VerbEnding(fault.dwErrorCount),
                       fault.wErrorWord, MovaBoardErrorText(fault.wErrorWord));
        if (fault.dwDelayCount != 0)
            strFaults += Format("  %s: %s take%s %u ms longer\n", pszName,
                                NextCalls(fault.dwDelayCount).c_str(),
                                VerbEnding(fault.dwDelayCount), fault.dwDelayMs);
    }
    strText += "Pending faults:" + std::string(strFaults.empty() ? " none\n" : "\n") + strFaults;
}

} // namespace

std::string HexLine(const std::uint8_t* pbyBytes, std::size_t nCount)
{
    std::string strLine;
    for (std::size_t i = 0; i < nCount; ++i)
        strLine += Format(i == 0 ? "%02X" : " %02X", pbyBytes[i]);
    return strLine;
}

std::string FormatBoard(std::uint8_t byBoard, const korix::SBoardSnapshot& snapshot)
{
    const korix::SBoardState& state = snapshot.sState;
    std::string strText = Format("Board %u (shared memory %s)\n", byBoard, snapshot.szSharedName);
    strText += Format("Master mode: 0x%02X (%s)\n", state.sPlant.byMasterMode,
                      MovaMasterModeText(state.sPlant.byMasterMode));
    char szSource[korix::kPlantSourceSize + 1] = {};
    std::memcpy(szSource, state.sPlant.szSource, korix::kPlantSourceSize);
    strText += std::string("Plant: ") + szSource + "\n";
    if (korix::IsDeclaredServed(state))
        strText += "Declared for a DP master: never shows a simulated plant\n";
    AppendRegistrations(strText, snapshot);
    AppendSlaves(strText, state.sPlant);
    AppendFaults(strText, state);
    return strText;
}

} // namespace korixsim
