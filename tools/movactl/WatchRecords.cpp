#include "tools/movactl/WatchRecords.h"

#include "include/MovaRecords.h"
#include "tools/movactl/ValueText.h"

#include <nlohmann/json.hpp>

#include <cmath>

namespace movactl
{

namespace
{

nlohmann::ordered_json JsonValue(const SVariable& variable,
                                 const std::vector<std::uint8_t>& abyValue)
{
    if (variable.wBitLength == 1)
        return NumberOf(abyValue) != 0 ? 1 : 0;
    if (variable.wBitLength > 64)
        return FormatValue(variable, abyValue);
    STypedNumber number = TypedNumber(variable.eType, ValueBits(variable.wBitLength), abyValue);
    switch (variable.eType)
    {
    case teValueType::Signed:
        return number.nSigned;
    case teValueType::Float:
        return std::isfinite(number.dFloat) ? nlohmann::ordered_json(number.dFloat)
                                            : nlohmann::ordered_json();
    case teValueType::Unsigned:
        break;
    }
    return number.qwUnsigned;
}

} // namespace

std::string CsvField(std::string_view text)
{
    if (text.find_first_of(",\"\n") == std::string_view::npos)
        return std::string(text);
    std::string strField = "\"";
    for (char ch : text)
    {
        if (ch == '"')
            strField += '"';
        strField += ch;
    }
    return strField + "\"";
}

void CWatchRecords::WriteHeader()
{
    if (m_eFormat == teRecordFormat::Csv)
        std::fputs("time,variable,value,result,words\n", m_pOut);
}

void CWatchRecords::Write(TWallTime time, const SVariable& variable, std::int32_t lResult,
                          const std::vector<std::uint8_t>& abyValue)
{
    bool bDone = lResult == MOVA_RESULT_DONE;
    const char* pszWords = MovaResultText(lResult);
    if (m_eFormat == teRecordFormat::Csv)
    {
        std::string strLine = CsvField(IsoText(time)) + "," + CsvField(variable.strText) + "," +
                              CsvField(bDone ? FormatValue(variable, abyValue) : "") + "," +
                              std::to_string(lResult) + "," + CsvField(pszWords) + "\n";
        std::fputs(strLine.c_str(), m_pOut);
        return;
    }
    nlohmann::ordered_json record = nlohmann::ordered_json::object();
    record["time"] = IsoText(time);
    record["variable"] = variable.strText;
    record["value"] = bDone ? JsonValue(variable, abyValue) : nlohmann::ordered_json();
    record["result"] = lResult;
    record["words"] = pszWords;
    std::string strLine = record.dump() + "\n";
    std::fputs(strLine.c_str(), m_pOut);
}

} // namespace movactl
