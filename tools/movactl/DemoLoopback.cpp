#include "tools/movactl/Demo.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/Transfers.h"
#include "tools/movactl/ValueText.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace movactl
{

namespace
{

constexpr std::uint16_t kLongLoopbackLength = 244;

// A byte that differs from run to run, so that a read-back cannot be an earlier run's bytes.
std::uint8_t RunStamp()
{
    auto ticks = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint8_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(ticks).count() / 10 % 255 + 1);
}

// The simulated board mirrors at once; on a real bus (a board served by korix-dpmaster) the
// bytes come back a bus cycle or two later. Reads the inputs until they hold the bytes, at
// most a second; what the demo then shows is the read after that.
void AwaitMirror(CBoardSession& session, const std::string& strInputs,
                 const std::vector<std::uint8_t>& abyExpected)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < end)
    {
        CVariableBatch read = MakeReadBatch(session, ParseReads({strInputs}));
        if (!ReadVariables(session, read) || read.AnyFailed() || read.GetValue(0) == abyExpected)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool WriteAndSay(CBoardSession& session, CVariableBatch& batch)
{
    std::string strError;
    if (!WriteVariables(session, batch, strError))
    {
        Say("The write did not happen: " + strError);
        return false;
    }
    Say(WriteTable(batch).Format());
    return !batch.AnyFailed();
}

bool ShowShortLoopback(CBoardSession& session, std::uint8_t byStamp)
{
    Say("Slave 3 mirrors its 8 output bytes into its inputs. A write sends the whole output\n"
        "image, so movactl first reads the current outputs back into its image buffer and then\n"
        "lets the write compose its variables into it, in their order: byte 5 is cleared before\n"
        "its bits 0 and 3 are set. ':swap' puts a value big-endian into the image.");
    char szStamp[8];
    std::snprintf(szStamp, sizeof szStamp, "0x%02X", byStamp);
    CVariableBatch write =
        MakeWriteBatch(session, ParseWrites({"3:0:16=0x1234:swap", "3:2:16=0x1234",
                                             std::string("3:4:8=") + szStamp, "3:5:8=0",
                                             "3:5.0:1=1", "3:5.3:1=1", "3:6:16=0xBEEF:swap"}));
    bool bAsExpected = WriteAndSay(session, write);
    const std::uint8_t abyExpected[8] = {0x12, 0x34, 0x34, 0x12, byStamp, 0x09, 0xBE, 0xEF};
    AwaitMirror(session, "3:0:64", std::vector<std::uint8_t>(abyExpected, abyExpected + 8));

    Say("Read back through the inputs as the same variables:");
    CVariableBatch read = MakeReadBatch(
        session, ParseReads({"3:0:16:swap", "3:2:16", "3:4:8", "3:5.3:1", "3:6:16:swap"}));
    CVariableBatch images = MakeReadBatch(session, ParseReads({"3:0:64", "3:0:64:out"}));
    if (!ReadVariables(session, read) || !ReadVariables(session, images))
        return false;
    Say(ReadTable(read).Format());
    Say("and as bytes: inputs  " + HexBytes(images.GetValue(0).data(), 8) + "\n" +
        "              outputs " + HexBytes(images.GetValue(1).data(), 8));
    bool bMirrored = !read.AnyFailed() && !images.AnyFailed() &&
                     images.GetValue(0) == images.GetValue(1) &&
                     images.GetValue(0) == std::vector<std::uint8_t>(abyExpected, abyExpected + 8);
    Say(bMirrored ? "The inputs mirror the bytes written."
                  : "The inputs do not hold the bytes written (" + HexBytes(abyExpected, 8) + ").");
    return bAsExpected && bMirrored;
}

bool ShowLongLoopback(CBoardSession& session, std::uint8_t byStamp)
{
    std::vector<std::uint8_t> abyPattern;
    std::string strValue = "5:0:1952=0x";
    for (std::uint16_t i = 0; i < kLongLoopbackLength; ++i)
    {
        abyPattern.push_back(static_cast<std::uint8_t>(i * 7 + byStamp));
        char szByte[3];
        std::snprintf(szByte, sizeof szByte, "%02X", abyPattern.back());
        strValue += szByte;
    }
    CVariableBatch write = MakeWriteBatch(session, ParseWrites({strValue}));
    std::string strError;
    if (!WriteVariables(session, write, strError) || write.AnyFailed())
    {
        Say("Slave 5: the write failed: " +
            (strError.empty() ? DescribeResult(write.GetResult(0)) : strError));
        return false;
    }
    AwaitMirror(session, "5:0:1952", abyPattern);
    CVariableBatch read = MakeReadBatch(session, ParseReads({"5:0:1952"}));
    if (!ReadVariables(session, read) || read.AnyFailed())
    {
        Say("Slave 5: the read failed: " + DescribeResult(read.GetResult(0)));
        return false;
    }
    std::size_t nSame = 0;
    for (std::size_t i = 0; i < abyPattern.size(); ++i)
        nSame += read.GetValue(0)[i] == abyPattern[i];
    Say("Slave 5 mirrors 244 bytes, the most a DP slave has. One record of 1952 bits wrote\n"
        "a pattern (" +
        HexBytes(abyPattern.data(), 6) + " ...); " + std::to_string(nSame) + " of " +
        std::to_string(abyPattern.size()) + " bytes came back through the inputs.");
    return nSame == abyPattern.size();
}

} // namespace

bool ShowLoopback(CBoardSession& session, int nStep)
{
    SayStep(nStep, "Write to the loopback slaves and read back");
    std::uint8_t byStamp = RunStamp();
    bool bAsExpected = HasPlantSlave(session, 3, 8, 8) && ShowShortLoopback(session, byStamp);
    return HasPlantSlave(session, 5, kLongLoopbackLength, kLongLoopbackLength) &&
           ShowLongLoopback(session, byStamp) && bAsExpected;
}

} // namespace movactl
