// The reads any master may make of a slave, its own or another master's: Read Inputs (RD_Inp,
// SAP 56), Read Outputs (RD_Outp, SAP 57) and Get_Cfg (SAP 59). None changes the slave, so a
// master that does not own a slave may send them; the slave answers them in any state.
//
// On the wire: the request is SD2, SRD high, from the master's SAP 62 to the service's SAP,
// with no data behind the SAPs. The answer is SD2, data low or high, from the service's SAP to
// the master's SAP 62 (the request's SAPs swapped), carrying the input image, the output image
// or the configuration identifiers (ConfigBytes.h). A slave that does not serve the service
// answers SD1 with RS, or another code without data.
//
// A codec: no I/O, no clock. The decoder takes any telegram (the line and the fuzzer feed it)
// and never guesses: the data are a view into the answer it was given.
#pragma once

#include "dp/fdl/Telegram.h"
#include "dp/services/ServiceData.h"

#include <cstddef>
#include <cstdint>

namespace dp
{

enum class teSlaveRead : std::uint8_t
{
    Inputs,  // RD_Inp
    Outputs, // RD_Outp
    Config   // Get_Cfg
};

// The service's SAP at the slave, and its name for people ("RD_Inp", "RD_Outp", "Get_Cfg").
std::uint8_t SlaveReadSap(teSlaveRead eRead);
const char* SlaveReadName(teSlaveRead eRead);

// The request, with the frame count bits the caller keeps for the slave.
STelegram SlaveReadRequest(teSlaveRead eRead, std::uint8_t bySlave, std::uint8_t byMaster,
                           bool bFcb, bool bFcv);

// The longest answer on the wire (every service carries at most kMaxDpDataBytes).
inline constexpr std::size_t kSlaveReadLongestAnswer = kSd2Overhead + kSapUnits + kMaxDpDataBytes;

enum class teSlaveReadAnswer : std::uint8_t
{
    Data,      // the bytes the slave sent (for Get_Cfg: whole identifiers, at least one)
    NotServed, // a response without data (RS, NR, UE, RR, a positive acknowledgement)
    Malformed  // not a slave's answer to the service: a request, a master's station type,
               // other SAPs, too long, broken identifiers, a short acknowledgement
};

// Judges what the slave sent back to the request of the service (the answer is taken from the
// slave asked, to this master: the line's business). Data: data is a view into the answer.
teSlaveReadAnswer DecodeSlaveRead(teSlaveRead eRead, const STelegram& answer, ByteView& data);

// The answer a slave gives (the slave simulator's, and the fuzzer's check that what the decoder
// takes is what the encoder writes): false when the data exceed kMaxDpDataBytes.
bool EncodeSlaveReadAnswer(teSlaveRead eRead, const STelegram& request, ByteView data,
                           bool bHighPriority, STelegram& answer);

} // namespace dp
