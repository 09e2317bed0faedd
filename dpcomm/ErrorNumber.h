// How board error words, slave states and master modes turn into the DP communication's own
// error numbers. The numbers themselves (teErrorNumber) are the host's too, for they are the
// slave status numbers of its slave table: they are declared in include/MovaResults.h.
#pragma once

#include "include/MovaResults.h"

#include <cstdint>

// What the value given to the mapping is.
enum teErrorKind : std::int32_t
{
    ERRKIND_BOARD_ERROR = 1,
    ERRKIND_SLAVE_STATE = 2,
    ERRKIND_MASTER_MODE = 3
};

// The number for a value of its kind; 99 for a value without a number or any other kind.
teErrorNumber MapErrorNumber(std::uint16_t wValue, std::int32_t nKind);
