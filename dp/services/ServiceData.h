// The data of the DP services as records, each with its encoder and decoder: Set_Prm,
// Slave_Diag (the six fixed bytes and the extended blocks behind them), Chk_Cfg's identifiers
// and Global_Control. The master and the slave simulator both go through these, so that a byte
// offset is written down once (the layouts and bit names are in dp/services/DpServices.h).
//
// Decoders take any bytes (they are fed by the line and by the fuzzer): they check every length
// before they read and say false rather than guess. Nothing here allocates: the variable parts
// are views into the caller's bytes.
#pragma once

#include "dp/services/DpServices.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace dp
{

using ByteView = std::span<const std::uint8_t>;

// Set_Prm: the seven fixed bytes and the user parameter data behind them.
struct SSetPrm
{
    std::uint8_t byStationStatus = 0; // kPrmLockRequest, kPrmWatchdogOn, ...
    std::uint8_t byWatchdogFactor1 = 1;
    std::uint8_t byWatchdogFactor2 = 1;
    std::uint8_t byMinTsdr = 0; // bit times; 0 keeps the slave's own
    std::uint16_t wIdent = 0;
    std::uint8_t byGroup = 0;
    ByteView userPrm; // at most kMaxUserPrmBytes
};

// Writes the record; the byte count, or 0 when it does not fit nCapacity or the user parameter
// data are longer than kMaxUserPrmBytes.
std::size_t EncodeSetPrm(const SSetPrm& prm, std::uint8_t* pbyOut, std::size_t nCapacity);
// False when fewer than the fixed bytes, or more than Set_Prm can carry, came.
bool DecodeSetPrm(ByteView bytes, SSetPrm& prm);

// Slave_Diag: three station status bytes, the address of the master that parameterised the
// slave (kDiagNoMaster before any), the ident number, then extended diagnosis in blocks.
struct SSlaveDiag
{
    std::uint8_t byStatus1 = 0;
    std::uint8_t byStatus2 = 0;
    std::uint8_t byStatus3 = 0;
    std::uint8_t byMasterAddress = kDiagNoMaster;
    std::uint16_t wIdent = 0;
    ByteView extended; // the blocks, unparsed (DiagBlockReader walks them)
};

std::size_t EncodeSlaveDiag(const SSlaveDiag& diag, std::uint8_t* pbyOut, std::size_t nCapacity);
// False when fewer than the six fixed bytes, or more than kMaxDiagBytes, came.
bool DecodeSlaveDiag(ByteView bytes, SSlaveDiag& diag);

// The kinds of extended diagnosis block (the two top bits of a block's header byte).
enum class teDiagBlock : std::uint8_t
{
    Device = 0,     // header: 00 + length of the block, header included; maker's bytes
    Identifier = 1, // header: 01 + length; a bit per configuration identifier (module)
    Channel = 2,    // three bytes: 10 + identifier number, channel, type
    Reserved = 3    // header 11: not used by a DP slave
};

// A device or identifier block's header byte: its kind in the top two bits, its length (the
// header included, at most 63) in the others.
inline constexpr std::uint8_t kDiagBlockKindShift = 6;
inline constexpr std::uint8_t kDiagBlockLengthMask = 0x3F;
constexpr std::uint8_t DiagBlockHeader(teDiagBlock eKind, std::uint8_t byLength)
{
    return static_cast<std::uint8_t>((static_cast<std::uint8_t>(eKind) << kDiagBlockKindShift) |
                                     (byLength & kDiagBlockLengthMask));
}

// Channel diagnosis: byte 1 is the header with the identifier number (module) in bits 5-0;
// byte 2 bits 7-6 the direction, bits 5-0 the channel; byte 3 bits 7-5 the channel type (its
// bit width), bits 4-0 the error type.
inline constexpr std::uint8_t kChannelInput = 0x40;
inline constexpr std::uint8_t kChannelOutput = 0x80;
inline constexpr std::uint8_t kChannelNumberMask = 0x3F;
inline constexpr std::uint8_t kChannelErrorMask = 0x1F;

struct SDiagBlock
{
    teDiagBlock eKind = teDiagBlock::Device;
    ByteView content; // the bytes behind the header (device and identifier blocks)
    // Channel blocks only:
    std::uint8_t byModule = 0;    // identifier number (0-63)
    std::uint8_t byChannel = 0;   // channel number (0-63)
    std::uint8_t byDirection = 0; // kChannelInput, kChannelOutput or both
    std::uint8_t byType = 0;      // channel type, the top three bits of the third byte
    std::uint8_t byError = 0;     // error type (1 short circuit ... 9 error, 16-31 maker's)
};

// Walks the extended diagnosis of a Slave_Diag block by block.
class CDiagBlockReader
{
public:
    explicit CDiagBlockReader(ByteView extended) : m_bytes(extended) {}

    // The next block; false at the end, and false with Malformed() when a block's length runs
    // past the end or is below its header.
    bool Next(SDiagBlock& block);
    bool Malformed() const { return m_bMalformed; }

private:
    ByteView m_bytes;
    std::size_t m_nAt = 0;
    bool m_bMalformed = false;
};

// One identifier of Chk_Cfg (and Get_Cfg): general (one byte) or special (with length bytes
// and the maker's bytes).
struct SConfigIdentifier
{
    bool bSpecial = false;
    std::uint16_t wInputBytes = 0;  // what the identifier adds to the input image
    std::uint16_t wOutputBytes = 0; // ... and to the output image
    bool bWords = false;            // the lengths count words (general identifiers)
    bool bConsistent = false;       // consistency over the whole length
    ByteView maker;                 // special identifiers: the manufacturer bytes
    std::size_t nSize = 0;          // bytes of the identifier in the configuration
};

// Walks configuration bytes identifier by identifier.
class CConfigReader
{
public:
    explicit CConfigReader(ByteView config) : m_bytes(config) {}

    // The next identifier; false at the end, and false with an error (naming the byte) when
    // the bytes do not form a whole identifier.
    bool Next(SConfigIdentifier& identifier);
    const char* Error() const { return m_pszError; }
    std::size_t ErrorAt() const { return m_nAt; }

private:
    ByteView m_bytes;
    std::size_t m_nAt = 0;
    const char* m_pszError = nullptr;
};

// The general identifier byte for a length of one direction (1 to 16 units), or 0 when the
// length cannot be said in one: bInput and bOutput both give an identifier for both images.
std::uint8_t GeneralIdentifier(std::uint8_t byUnits, bool bInput, bool bOutput, bool bWords,
                               bool bConsistent);

// Global_Control: the control command and the groups it is for (0: every group).
struct SGlobalControl
{
    std::uint8_t byControl = 0; // kControlClearData, kControlSync, ...
    std::uint8_t byGroups = 0;
};

inline constexpr std::size_t kGlobalControlBytes = 2;
std::size_t EncodeGlobalControl(const SGlobalControl& control, std::uint8_t* pbyOut,
                                std::size_t nCapacity);
// False unless exactly two bytes came.
bool DecodeGlobalControl(ByteView bytes, SGlobalControl& control);

} // namespace dp
