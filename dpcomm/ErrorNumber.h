// The DP communication's own error numbers, and how board error words, slave states and
// master modes turn into them. Slave status numbers in the host's slave table use them too.
#pragma once

#include <cstdint>

enum teErrorNumber : std::int32_t
{
    DPERR_NONE = 0,
    // Board error words 0x80..0x95 give the word minus 127.
    DPERR_BOARD_80 = 1,
    DPERR_BOARD_81 = 2,
    DPERR_BOARD_82 = 3,
    DPERR_BOARD_83 = 4,
    DPERR_BOARD_84 = 5,
    DPERR_BOARD_85 = 6,
    DPERR_BOARD_86 = 7,
    DPERR_BOARD_87 = 8,
    DPERR_BOARD_88 = 9,
    DPERR_BOARD_89 = 10,
    DPERR_BOARD_8A = 11,
    DPERR_BOARD_8B = 12,
    DPERR_BOARD_8C = 13,
    DPERR_BOARD_8D = 14,
    DPERR_BOARD_8E = 15,
    DPERR_BOARD_8F = 16,
    DPERR_BOARD_90 = 17,
    DPERR_BOARD_91 = 18,
    DPERR_BOARD_92 = 19,
    DPERR_BOARD_93 = 20,
    DPERR_BOARD_94 = 21,
    DPERR_WATCHDOG_EXPIRED = 22, // board error word 0x95; a write retries on it
    // Slave states 0..5 give 40 plus the state; 42 and 43 are a working slave.
    DPERR_SLAVE_STATE_0 = 40,
    DPERR_SLAVE_STATE_1 = 41,
    DPERR_SLAVE_STATE_2 = 42,
    DPERR_SLAVE_STATE_3 = 43,
    DPERR_SLAVE_STATE_4 = 44,
    DPERR_SLAVE_STATE_5 = 45,
    // Master modes 0x00, 0x40, 0x80, 0xC0 give 50 plus the mode divided by 0x40.
    DPERR_MASTER_OFFLINE = 50, // 0x00
    DPERR_MASTER_STOP = 51,    // 0x40
    DPERR_MASTER_CLEAR = 52,   // 0x80, operational
    DPERR_MASTER_OPERATE = 53, // 0xC0, operational
    DPERR_UNKNOWN = 99
};

// What the value given to the mapping is.
enum teErrorKind : std::int32_t
{
    ERRKIND_BOARD_ERROR = 1,
    ERRKIND_SLAVE_STATE = 2,
    ERRKIND_MASTER_MODE = 3
};

// The number for a value of its kind; 99 for a value without a number or any other kind.
teErrorNumber MapErrorNumber(std::uint16_t wValue, std::int32_t nKind);
