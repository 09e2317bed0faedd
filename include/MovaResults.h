/*
 * Every number a host meets, by name: the error numbers (which are also the slave status
 * numbers of the slave table), the results written into a record's lResult, and the return
 * codes of the job's operations; and functions that put such a number, or a value the board
 * reports (error word, slave state, master mode), into short English words.
 *
 * Works as C (C99 or later) and as C++ (C++11 or later).
 */
#ifndef MOVAJOB_MOVARESULTS_H
#define MOVAJOB_MOVARESULTS_H

#include <stdint.h>

/*
 * Error numbers of the DP communication. A board error word 0x80..0x95 gives the word minus
 * 127, a slave state 0..5 gives 40 plus the state, a master mode 0x00, 0x40, 0x80 or 0xC0
 * gives 50 plus the mode divided by 0x40, and every other value 99. The slave table's wState
 * holds the slave status numbers 40 to 45 and 99; 42 and 43 mean the slave exchanges data.
 */
#ifdef __cplusplus
enum teErrorNumber : int32_t
#else
enum teErrorNumber
#endif
{
    DPERR_NONE = 0,
    DPERR_BOARD_80 = 1,
    DPERR_BOARD_81 = 2,
    DPERR_BOARD_82 = 3,
    DPERR_BOARD_83 = 4,
    DPERR_BOARD_84 = 5,
    DPERR_BOARD_85 = 6,
    DPERR_BOARD_86 = 7, /* write to an address not registered for output, or to a read-only
                           slave: one another master owns, observed or listened to */
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
    DPERR_WATCHDOG_EXPIRED = 22, /* board error word 0x95; a write retries on it */
    DPERR_SLAVE_STATE_0 = 40,
    DPERR_SLAVE_STATE_1 = 41,
    DPERR_SLAVE_STATE_2 = 42, /* exchanging data */
    DPERR_SLAVE_STATE_3 = 43, /* exchanging data */
    DPERR_SLAVE_STATE_4 = 44,
    DPERR_SLAVE_STATE_5 = 45,
    DPERR_MASTER_OFFLINE = 50, /* master mode 0x00 */
    DPERR_MASTER_STOP = 51,    /* master mode 0x40 */
    DPERR_MASTER_CLEAR = 52,   /* master mode 0x80, operational */
    DPERR_MASTER_OPERATE = 53, /* master mode 0xC0, operational */
    DPERR_UNKNOWN = 99         /* any value without a number of its own */
};
#ifndef __cplusplus
typedef enum teErrorNumber teErrorNumber;
#endif

/*
 * Results in a record's lResult. A read or write record gets MOVA_RESULT_DONE,
 * MOVA_RESULT_OUTSIDE_IMAGE, MOVA_RESULT_NULL_POINTER, MOVA_RESULT_NO_OUTPUT_BUFFER or
 * MOVA_RESULT_BOARD_ERROR(n); a connection test gets MOVA_RESULT_DONE,
 * MOVA_RESULT_SLAVE_STATUS(s), MOVA_RESULT_NOT_EXCHANGING, MOVA_RESULT_BOARD_ERROR(n) or
 * MOVA_RESULT_ADDRESS_OUTSIDE_TABLE; a JobCanceled record gets MOVA_RESULT_DONE.
 */
#define MOVA_RESULT_DONE 0
/* The protocol object was not open (a host driving IMovaProto directly). */
#define MOVA_RESULT_NOT_OPEN (-1)
/* A connection test that worked, for a slave whose status s is not 42 or 43: -40..-45, -99. */
#define MOVA_RESULT_SLAVE_STATUS(s) (-(int32_t)(s))
/* The board exchange failed with error number n (teErrorNumber): -800 - n. */
#define MOVA_RESULT_BOARD_BASE (-800)
#define MOVA_RESULT_BOARD_ERROR(n) (MOVA_RESULT_BOARD_BASE - (int32_t)(n))
/* A connection test without an error number: a configured slave is not exchanging data. */
#define MOVA_RESULT_NOT_EXCHANGING MOVA_RESULT_BOARD_BASE
/* Read or write refused by the slave's state 0..5: -840 - state (error numbers 40..45). */
#define MOVA_RESULT_SLAVE_STATE_BASE (-840)
#define MOVA_RESULT_SLAVE_STATE(state) (MOVA_RESULT_SLAVE_STATE_BASE - (int32_t)(state))
/* Read or write refused because the master was not operational: -850 - mode / 0x40. */
#define MOVA_RESULT_MASTER_MODE_BASE (-850)
/* A write whose first record has no output image buffer (-800 - 60). */
#define MOVA_RESULT_NO_OUTPUT_BUFFER (-860)
/* Error number 99: an answer of the board without a number of its own. */
#define MOVA_RESULT_UNKNOWN_ANSWER MOVA_RESULT_BOARD_ERROR(DPERR_UNKNOWN)
/* A connection test for an address outside the slave table that the board keeps: 126 or more
 * (DP slave addresses run from 0 to 125); the same number as above. */
#define MOVA_RESULT_ADDRESS_OUTSIDE_TABLE MOVA_RESULT_UNKNOWN_ANSWER
/* Nothing to read into or write from: pData or the image buffer is null. Also the result of
 * an operation given a null record or parameter pointer; never a result of the board. */
#define MOVA_RESULT_NULL_POINTER (-900)
/* The variable does not lie inside its image length (wLenIn or wLenOut). */
#define MOVA_RESULT_OUTSIDE_IMAGE (-963)

/*
 * Return codes of the job's operations (IMovaJob). Every operation returns 0 on success.
 * OpenJob may also return MOVA_RESULT_NULL_POINTER or MOVA_OPEN_BOARD_ERROR(n).
 */
#define MOVAJOB_OK 0
/* OpenJob: already open, no protocol object, or the worker thread could not be started. */
#define MOVAJOB_OPEN_REFUSED (-1)
/* OpenJob: a worker thread of an earlier open still exists. */
#define MOVAJOB_OPEN_WORKER_LEFT (-2)
/* OpenJob: the board refused the registration with error number n (teErrorNumber): -n. */
#define MOVAJOB_OPEN_BOARD_ERROR(n) (-(int32_t)(n))
/* CloseJob: the job has no worker thread (never opened, or closed already); also the answer
 * inside OnPutJobFinished or OnEnumJob when the job is closed. */
#define MOVAJOB_CLOSE_NOT_OPEN (-1)
/* CloseJob: called from inside OnPutJobFinished or OnEnumJob, where it would wait for itself. */
#define MOVAJOB_CLOSE_IN_CALLBACK (-3)
/* PutJob: the job was never opened, or no memory for the queue entry. */
#define MOVAJOB_PUT_REFUSED (-1)
/* PutJob: pBuf is null. */
#define MOVAJOB_PUT_NO_RECORDS (-2)
/* SetJobNotification: a sink is registered already, or the sink's version differs. */
#define MOVAJOB_NOTIFY_REFUSED (-1)
/*
 * Return codes of the protocol object's operations (IMovaProto), for a host that drives one
 * directly. Open may also return MOVA_RESULT_NULL_POINTER or MOVAJOB_OPEN_BOARD_ERROR(n); Read,
 * Write and TestConnection return MOVA_RESULT_NULL_POINTER for a null record pointer.
 */
#define MOVAPROTO_OK 0
/* Open: no trace session or no communication object could be made. */
#define MOVAPROTO_OPEN_REFUSED (-1)
/* Read, Write, TestConnection: the protocol object is not open. */
#define MOVAPROTO_NOT_OPEN (-1)

/* CreateIMovaJob, CreateIMovaProto: an object was created (1) or not (0). */
#define MOVA_CREATED 1
#define MOVA_NOT_CREATED 0

/*
 * An error number or slave status number in words: "board error 0x81", "slave state 4",
 * "master not operational", "unknown board answer"; "no such error number" for a number that
 * is never produced. The text lives as long as the program.
 */
static inline const char* MovaErrorNumberText(int32_t nNumber)
{
    static const char* const apszBoard[] = {
        "board error 0x80", "board error 0x81", "board error 0x82", "board error 0x83",
        "board error 0x84", "board error 0x85", "board error 0x86", "board error 0x87",
        "board error 0x88", "board error 0x89", "board error 0x8A", "board error 0x8B",
        "board error 0x8C", "board error 0x8D", "board error 0x8E", "board error 0x8F",
        "board error 0x90", "board error 0x91", "board error 0x92", "board error 0x93",
        "board error 0x94", "board error 0x95"};
    static const char* const apszSlave[] = {"slave state 0", "slave state 1", "slave state 2",
                                            "slave state 3", "slave state 4", "slave state 5"};
    if (nNumber == DPERR_NONE)
        return "no error";
    if (nNumber >= DPERR_BOARD_80 && nNumber <= DPERR_WATCHDOG_EXPIRED)
        return apszBoard[nNumber - DPERR_BOARD_80];
    if (nNumber >= DPERR_SLAVE_STATE_0 && nNumber <= DPERR_SLAVE_STATE_5)
        return apszSlave[nNumber - DPERR_SLAVE_STATE_0];
    if (nNumber >= DPERR_MASTER_OFFLINE && nNumber <= DPERR_MASTER_OPERATE)
        return "master not operational";
    if (nNumber == DPERR_UNKNOWN)
        return "unknown board answer";
    return "no such error number";
}

/*
 * A record's lResult in words: "done", "outside the image", "board error 0x81",
 * "slave state 4"; "unexpected result" for a number the library never writes. The text lives
 * as long as the program.
 */
static inline const char* MovaResultText(int32_t lResult)
{
    switch (lResult)
    {
    case MOVA_RESULT_DONE:
        return "done";
    case MOVA_RESULT_NOT_OPEN:
        return "protocol object not open";
    case MOVA_RESULT_SLAVE_STATUS(DPERR_UNKNOWN):
        return "unknown slave state";
    case MOVA_RESULT_NOT_EXCHANGING:
        return "slave not exchanging data";
    case MOVA_RESULT_NO_OUTPUT_BUFFER:
        return "no output buffer";
    case MOVA_RESULT_UNKNOWN_ANSWER:
        return "unknown board answer, or slave address outside the table";
    case MOVA_RESULT_NULL_POINTER:
        return "null pointer";
    case MOVA_RESULT_OUTSIDE_IMAGE:
        return "outside the image";
    default:
        break;
    }
    if (lResult <= MOVA_RESULT_SLAVE_STATUS(DPERR_SLAVE_STATE_0) &&
        lResult >= MOVA_RESULT_SLAVE_STATUS(DPERR_SLAVE_STATE_5))
        return MovaErrorNumberText(-lResult);
    if (lResult <= MOVA_RESULT_BOARD_ERROR(DPERR_BOARD_80) &&
        lResult >= MOVA_RESULT_BOARD_ERROR(DPERR_MASTER_OPERATE))
    {
        /* Numbers 23 to 39 and 46 to 49 are never produced. */
        int32_t nNumber = MOVA_RESULT_BOARD_BASE - lResult;
        if (nNumber <= DPERR_WATCHDOG_EXPIRED || nNumber >= DPERR_MASTER_OFFLINE ||
            (nNumber >= DPERR_SLAVE_STATE_0 && nNumber <= DPERR_SLAVE_STATE_5))
            return MovaErrorNumberText(nNumber);
    }
    return "unexpected result";
}

/*
 * The board's own values in words, as the board library reports them: an error word
 * ("no slave at the address"), a slave state ("data exchange") and a master mode ("operate").
 * The library accepts slave states 2 and 3 as exchanging data and master modes 0x80 and 0xC0 as
 * operational. A value without a meaning of its own gives "unassigned error word",
 * "unknown slave state" or "unknown master mode". The text lives as long as the program.
 */
static inline const char* MovaBoardErrorText(uint32_t dwErrorWord)
{
    switch (dwErrorWord)
    {
    case 0x00:
        return "no error";
    case 0x80:
        return "no such board";
    case 0x81:
        return "unknown handle";
    case 0x82:
        return "no free registration";
    case 0x83:
        return "malformed request";
    case 0x84:
        return "no slave at the address";
    case 0x85:
        return "length does not fit";
    case 0x86:
        return "address not registered for output";
    case 0x8F:
        return "board unavailable";
    case 0x95:
        return "watchdog expired";
    default:
        return "unassigned error word";
    }
}

static inline const char* MovaSlaveStateText(uint32_t dwState)
{
    static const char* const apszStates[] = {
        "not reachable",       "being parameterised",
        "data exchange",       "data exchange, diagnosis pending",
        "configuration fault", "stopped"};
    return dwState < sizeof apszStates / sizeof apszStates[0] ? apszStates[dwState]
                                                              : "unknown slave state";
}

static inline const char* MovaMasterModeText(uint32_t dwMode)
{
    switch (dwMode)
    {
    case 0x00:
        return "offline";
    case 0x40:
        return "stop";
    case 0x80:
        return "clear";
    case 0xC0:
        return "operate";
    default:
        return "unknown master mode";
    }
}

#endif /* MOVAJOB_MOVARESULTS_H */
