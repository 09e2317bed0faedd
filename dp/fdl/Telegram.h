// The telegrams of the DP bus's data link layer (FDL): the four start delimiters SD1 to SD4
// and the short acknowledgement, with address extension by service access points.
//
// On the wire (every byte a UART character of 8 data bits, even parity, one stop bit):
//   SD1  10 DA SA FC FCS 16                                fixed length, no data
//   SD2  68 LE LEr 68 DA SA FC [DSAP] [SSAP] data... FCS 16 variable length, LE = 3 + units
//   SD3  A2 DA SA FC [DSAP] [SSAP] data... FCS 16           fixed length, 8 data units
//   SD4  DC DA SA                                           token
//   SC   E5                                                 short acknowledgement
// FCS is the sum modulo 256 of DA, SA, FC and the data units (SAP bytes included). Bit 7 of
// DA (of SA) says that a DSAP (an SSAP) byte leads the data units.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dp
{

inline constexpr std::uint8_t kSd1 = 0x10;
inline constexpr std::uint8_t kSd2 = 0x68;
inline constexpr std::uint8_t kSd3 = 0xA2;
inline constexpr std::uint8_t kSd4 = 0xDC;
inline constexpr std::uint8_t kShortAck = 0xE5;
inline constexpr std::uint8_t kEndDelimiter = 0x16;

inline constexpr std::uint8_t kAddressExtension = 0x80; // in DA and SA: a SAP byte follows
inline constexpr std::uint8_t kAddressMask = 0x7F;
inline constexpr std::uint8_t kBroadcastAddress = 127;
// The highest address a station may be given: 126 is a new slave's, before any Set_Slave_Add.
inline constexpr std::uint8_t kMaxStationAddress = 125;
inline constexpr std::uint8_t kSapMask = 0x3F;
// At most a DSAP and an SSAP lead the data units.
inline constexpr std::size_t kSapUnits = 2;

// The bytes around the data units: DA SA FC, which LE counts with the units, and FCS ED.
inline constexpr std::size_t kAddressFcBytes = 3;
inline constexpr std::size_t kTrailerBytes = 2;
// SD2's own header: SD2 LE LEr SD2.
inline constexpr std::size_t kSd2HeaderBytes = 4;

inline constexpr std::size_t kSd1Size = 1 + kAddressFcBytes + kTrailerBytes; // 6
inline constexpr std::size_t kSd3DataUnits = 8;
inline constexpr std::size_t kSd3Size = kSd1Size + kSd3DataUnits; // 14
inline constexpr std::size_t kSd4Size = 3;                        // SD4 DA SA
inline constexpr std::size_t kShortAckSize = 1;
// SD2 without its data units: header, DA SA FC, FCS ED.
inline constexpr std::size_t kSd2Overhead = kSd2HeaderBytes + kAddressFcBytes + kTrailerBytes;

inline constexpr std::size_t kMaxLe = 249; // LE counts DA SA FC and the data units
inline constexpr std::size_t kMaxDataUnits = kMaxLe - kAddressFcBytes;        // 246
inline constexpr std::size_t kMaxTelegramSize = kSd2Overhead + kMaxDataUnits; // 255
static_assert(kMaxTelegramSize == 255);

enum class teFrame : std::uint8_t
{
    Sd1,
    Sd2,
    Sd3,
    Sd4,
    ShortAck
};

// One telegram, decoded: addresses without their extension bit, the SAPs apart from the
// data. For SD4 only the addresses count, for the short acknowledgement nothing.
struct STelegram
{
    teFrame eFrame = teFrame::Sd1;
    std::uint8_t byDa = 0;
    std::uint8_t bySa = 0;
    std::uint8_t byFc = 0;
    bool bHasDsap = false;
    bool bHasSsap = false;
    std::uint8_t byDsap = 0;
    std::uint8_t bySsap = 0;
    std::uint8_t byDataLength = 0;
    std::uint8_t abyData[kMaxDataUnits] = {};

    // Data units on the wire: the SAP bytes and the data.
    std::size_t DataUnits() const
    {
        return (bHasDsap ? 1u : 0u) + (bHasSsap ? 1u : 0u) + byDataLength;
    }
};

// The same telegram: frame, addresses, function code, SAPs and data.
bool SameTelegram(const STelegram& first, const STelegram& second);

// Frame check sum: the sum of the bytes modulo 256.
std::uint8_t FrameCheckSum(const std::uint8_t* pbyBytes, std::size_t nCount);

// Writes the telegram's bytes; returns their count, or 0 when the telegram does not fit its
// frame (SD1 with data units, SD3 without exactly 8, SD2 beyond kMaxDataUnits, an address above
// 127) or the buffer (kMaxTelegramSize is always enough).
std::size_t EncodeTelegram(const STelegram& telegram, std::uint8_t* pbyOut, std::size_t nCapacity);

// The frame a careful sender picks for the data units: SD1 without any, else SD2. (SD3 is
// read from others but never sent: every station must take SD2.)
teFrame FrameForDataUnits(std::size_t nDataUnits);

// Bytes of the telegram on the wire, from its frame and data units.
std::size_t TelegramSize(teFrame eFrame, std::size_t nDataUnits);

} // namespace dp
