#include "dpcomm/ErrorNumber.h"

teErrorNumber MapErrorNumber(std::uint16_t wValue, std::int32_t nKind)
{
    switch (nKind)
    {
    case ERRKIND_BOARD_ERROR:
        if (wValue == 0)
            return DPERR_NONE;
        if (wValue >= 0x80 && wValue <= 0x95)
            return static_cast<teErrorNumber>(wValue - 127);
        return DPERR_UNKNOWN;
    case ERRKIND_SLAVE_STATE:
        return wValue <= 5 ? static_cast<teErrorNumber>(DPERR_SLAVE_STATE_0 + wValue)
                           : DPERR_UNKNOWN;
    case ERRKIND_MASTER_MODE:
        if (wValue <= 0xC0 && wValue % 0x40 == 0)
            return static_cast<teErrorNumber>(DPERR_MASTER_OFFLINE + wValue / 0x40);
        return DPERR_UNKNOWN;
    default:
        return DPERR_UNKNOWN;
    }
}
