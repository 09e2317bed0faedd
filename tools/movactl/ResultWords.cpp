#include "tools/movactl/ResultWords.h"

#include "include/MovaJob.h"
#include "include/MovaRecords.h"

namespace movactl
{

namespace
{

std::string Numbered(const char* pszWords, std::int32_t nNumber)
{
    return std::string(pszWords) + " (" + std::to_string(nNumber) + ")";
}

// The words come from the library's header; the number after them is the error number where
// the result carries one, else the result itself.
bool HasErrorNumber(std::int32_t lResult)
{
    std::int32_t nNumber = MOVA_RESULT_BOARD_BASE - lResult;
    return (nNumber >= DPERR_BOARD_80 && nNumber <= DPERR_WATCHDOG_EXPIRED) ||
           (nNumber >= DPERR_SLAVE_STATE_0 && nNumber <= DPERR_SLAVE_STATE_5) ||
           (nNumber >= DPERR_MASTER_OFFLINE && nNumber <= DPERR_MASTER_OPERATE) ||
           nNumber == DPERR_UNKNOWN;
}

} // namespace

std::string DescribeResult(std::int32_t lResult)
{
    if (lResult == MOVA_RESULT_DONE)
        return MovaResultText(lResult);
    if (lResult == kResultNotRun)
        return "not run";
    if (HasErrorNumber(lResult))
        return Numbered(MovaResultText(lResult), MOVA_RESULT_BOARD_BASE - lResult);
    return Numbered(MovaResultText(lResult), lResult);
}

std::string DescribeTestResult(std::int32_t lResult, std::uint16_t wStatus)
{
    if (lResult == MOVA_RESULT_DONE)
        return "connected";
    // A configured slave that does not exchange data fails the test without an error number;
    // the status the test left in the slave table says why.
    if (lResult == MOVA_RESULT_NOT_EXCHANGING && wStatus != DPERR_SLAVE_STATE_2 &&
        wStatus != DPERR_SLAVE_STATE_3 &&
        ((wStatus >= DPERR_SLAVE_STATE_0 && wStatus <= DPERR_SLAVE_STATE_5) ||
         wStatus == DPERR_UNKNOWN))
        lResult = MOVA_RESULT_SLAVE_STATUS(wStatus);
    // A test that worked but found the slave not exchanging data answers minus its status.
    if (lResult == MOVA_RESULT_SLAVE_STATUS(DPERR_UNKNOWN) ||
        (lResult <= MOVA_RESULT_SLAVE_STATUS(DPERR_SLAVE_STATE_0) &&
         lResult >= MOVA_RESULT_SLAVE_STATUS(DPERR_SLAVE_STATE_5)))
        return Numbered(MovaResultText(lResult), -lResult);
    return DescribeResult(lResult);
}

std::string DescribeOpenResult(std::int32_t lResult)
{
    if (lResult == MOVAJOB_OPEN_REFUSED)
        return "board error 0x80 (1), or the job could not make its protocol object";
    if (lResult == MOVA_RESULT_NULL_POINTER)
        return Numbered(MovaResultText(lResult), lResult);
    if (lResult < 0 && lResult > -100)
        return Numbered(MovaErrorNumberText(-lResult), -lResult);
    return Numbered("unexpected result", lResult);
}

std::string DescribePutResult(std::int32_t lResult)
{
    switch (lResult)
    {
    case MOVAJOB_OK:
        return Numbered("accepted", lResult);
    case MOVAJOB_PUT_REFUSED:
        return Numbered("refused: the job is not open, or had no memory for the batch", lResult);
    case MOVAJOB_PUT_NO_RECORDS:
        return Numbered("refused: no records", lResult);
    default:
        return Numbered("unexpected result", lResult);
    }
}

std::string DescribeCloseResult(std::int32_t lResult)
{
    switch (lResult)
    {
    case MOVAJOB_OK:
        return Numbered("closed", lResult);
    case MOVAJOB_CLOSE_NOT_OPEN:
        return Numbered("not open", lResult);
    case MOVAJOB_CLOSE_IN_CALLBACK:
        return Numbered("refused inside a sink call", lResult);
    default:
        return Numbered("unexpected result", lResult);
    }
}

std::string DescribeNotifyResult(std::int32_t lResult)
{
    switch (lResult)
    {
    case MOVAJOB_OK:
        return Numbered("registered", lResult);
    case MOVAJOB_NOTIFY_REFUSED:
        return Numbered("refused: a sink is registered already, or its version differs", lResult);
    default:
        return Numbered("unexpected result", lResult);
    }
}

std::string DescribeStatus(std::uint16_t wStatus)
{
    bool bSlaveState = wStatus >= DPERR_SLAVE_STATE_0 && wStatus <= DPERR_SLAVE_STATE_5;
    if (!bSlaveState && wStatus != DPERR_UNKNOWN)
    {
        // Any other error number the board left there, in its words where it has some.
        std::string strWords = MovaErrorNumberText(wStatus);
        return strWords == "no such error number" ? "status " + std::to_string(wStatus) : strWords;
    }
    // A connection test answers minus the status of a slave that does not exchange data.
    std::string strWords = DescribeTestResult(-static_cast<std::int32_t>(wStatus), wStatus);
    return wStatus == DPERR_SLAVE_STATE_2 || wStatus == DPERR_SLAVE_STATE_3
               ? strWords + ", exchanging data"
               : strWords;
}

} // namespace movactl
