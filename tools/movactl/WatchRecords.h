// watch --csv and --json: one record per round and variable, for logging and for plotting in
// other programs. Each record holds the round's time (ISO 8601, local, LocalTime.h), the
// variable as typed, its value, the result number and the result in words.
//  - CSV (RFC 4180): a header line "time,variable,value,result,words", then one line per
//    record; fields with a comma, a quote or a line end are quoted, quotes doubled. The value is
//    as the table shows it, empty when the read failed. Lines end as the platform's text files
//    do (LF on Linux, CRLF on Windows), which CSV readers take either way.
//  - JSON Lines: one object per line, {"time":..,"variable":..,"value":..,"result":..,
//    "words":..}. The value is a JSON number for up to 64 bits (exact for every integer), a
//    string of hex digits after 0x for longer runs, null when the read failed or a float is
//    not finite (JSON has no inf or nan; "words" still says "done").
#pragma once

#include "tools/movactl/LocalTime.h"
#include "tools/movactl/Variable.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace movactl
{

enum class teRecordFormat
{
    Csv,
    Json
};

class CWatchRecords
{
public:
    CWatchRecords(teRecordFormat eFormat, std::FILE* pOut) : m_eFormat(eFormat), m_pOut(pOut) {}

    // The CSV header; nothing for JSON Lines.
    void WriteHeader();
    void Write(TWallTime time, const SVariable& variable, std::int32_t lResult,
               const std::vector<std::uint8_t>& abyValue);
    // Each round reaches the reader as a whole, also through a pipe.
    void Flush() { std::fflush(m_pOut); }

private:
    teRecordFormat m_eFormat;
    std::FILE* m_pOut;
};

// A CSV field as RFC 4180 writes it.
std::string CsvField(std::string_view text);

} // namespace movactl
