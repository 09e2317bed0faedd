#include "tools/movactl/ResultWords.h"

#include "include/MovaRecords.h"

#include <cstdio>

namespace movactl
{

namespace
{

constexpr std::int32_t kResultAddressOutsideTable = -899;

// Error numbers: 1..22 board error words 0x80..0x95, 40..45 slave states 0..5, 50..53 master
// modes 0x00, 0x40, 0x80, 0xC0, 99 anything else.
std::string DescribeErrorNumber(std::int32_t nNumber)
{
    char szWords[64];
    if (nNumber >= 1 && nNumber <= 22)
        std::snprintf(szWords, sizeof szWords, "board error 0x%02X (%d)",
                      static_cast<unsigned>(nNumber + 0x7F), static_cast<int>(nNumber));
    else if (nNumber >= 40 && nNumber <= 45)
        std::snprintf(szWords, sizeof szWords, "slave state %d (%d)",
                      static_cast<int>(nNumber - 40), static_cast<int>(nNumber));
    else if (nNumber >= 50 && nNumber <= 53)
        std::snprintf(szWords, sizeof szWords, "master not operational (%d)",
                      static_cast<int>(nNumber));
    else if (nNumber == 99)
        std::snprintf(szWords, sizeof szWords, "unknown board answer (99)");
    else
        std::snprintf(szWords, sizeof szWords, "error number %d", static_cast<int>(nNumber));
    return szWords;
}

std::string Numbered(const char* pszWords, std::int32_t lResult)
{
    return std::string(pszWords) + " (" + std::to_string(lResult) + ")";
}

} // namespace

std::string DescribeResult(std::int32_t lResult)
{
    switch (lResult)
    {
    case MOVA_RESULT_DONE:
        return "done";
    case kResultNotRun:
        return "not run";
    case MOVA_RESULT_OUTSIDE_IMAGE:
        return Numbered("outside the image", lResult);
    case MOVA_RESULT_NO_OUTPUT_BUFFER:
        return Numbered("no output buffer", lResult);
    case MOVA_RESULT_NULL_POINTER:
        return Numbered("null pointer", lResult);
    case kResultAddressOutsideTable:
        return Numbered("slave address outside the table", lResult);
    case MOVA_RESULT_BOARD_BASE:
        // A failure without an error number: a configured slave is not exchanging data.
        return Numbered("slave not exchanging data", lResult);
    default:
        break;
    }
    if (lResult < MOVA_RESULT_BOARD_BASE && lResult > MOVA_RESULT_BOARD_BASE - 100)
        return DescribeErrorNumber(MOVA_RESULT_BOARD_BASE - lResult);
    return Numbered("unexpected result", lResult);
}

std::string DescribeTestResult(std::int32_t lResult, std::uint16_t wStatus)
{
    if (lResult == MOVA_RESULT_DONE)
        return "connected";
    // A configured slave that does not exchange data fails the test without an error number;
    // the status the test left in the slave table says why.
    if (lResult == MOVA_RESULT_BOARD_BASE && wStatus != 42 && wStatus != 43 &&
        ((wStatus >= 40 && wStatus <= 45) || wStatus == 99))
        lResult = -static_cast<std::int32_t>(wStatus);
    // A test that worked but found the slave not exchanging data answers minus its status.
    if (lResult == -99)
        return "unknown slave state (99)";
    if (lResult < 0 && lResult > -100)
        return DescribeErrorNumber(-lResult);
    return DescribeResult(lResult);
}

std::string DescribeOpenResult(std::int32_t lResult)
{
    if (lResult == -1)
        return "board error 0x80 (1), or the job could not make its protocol object";
    if (lResult == MOVA_RESULT_NULL_POINTER)
        return Numbered("null pointer", lResult);
    if (lResult < 0 && lResult > -100)
        return DescribeErrorNumber(-lResult);
    return Numbered("unexpected result", lResult);
}

} // namespace movactl
