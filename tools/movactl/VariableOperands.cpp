#include "tools/movactl/VariableOperands.h"

#include <string_view>

namespace movactl
{

namespace
{

const char* const kVariableHelp =
    "VAR is SLAVE:BYTE[.BIT]:BITS[:swap][:out]: BITS 1 is one bit (bit BIT from byte BYTE on),\n"
    "any other number an unsigned run of (BITS+7)/8 bytes; or BITS is a type: u8 u16 u32 u64,\n"
    "i8 i16 i32 i64 (signed), f32 f64 (IEEE 754). :swap takes a 16, 32 or 64-bit value as\n"
    "big-endian; :out reads the outputs the master holds instead of the inputs.";

using FnParseVariable = bool (*)(std::string_view, SVariable&, std::string&);

// The error names the operand, as CLI11 names an option.
std::vector<SVariable> ParseOperands(const std::vector<std::string>& astrTexts,
                                     FnParseVariable fnParse, const char* pszOperand)
{
    std::vector<SVariable> aVariables;
    for (const std::string& strText : astrTexts)
    {
        SVariable variable;
        std::string strError;
        if (!fnParse(strText, variable, strError))
            throw CLI::ValidationError(pszOperand, strError);
        aVariables.push_back(std::move(variable));
    }
    return aVariables;
}

std::string SlaveList(const std::vector<std::uint8_t>& abySlaves)
{
    std::string strList;
    for (std::uint8_t byAddress : abySlaves)
        strList += (strList.empty() ? "" : ",") + std::to_string(byAddress);
    return strList;
}

} // namespace

void AddReadOperands(CLI::App& command, std::vector<std::string>& astrTexts)
{
    command.add_option("VAR", astrTexts, kVariableHelp)->required();
}

std::vector<SVariable> ParseReadOperands(const std::vector<std::string>& astrTexts)
{
    return ParseOperands(astrTexts, ParseReadVariable, "VAR");
}

std::vector<SVariable> ParseWriteOperands(const std::vector<std::string>& astrTexts)
{
    return ParseOperands(astrTexts, ParseWriteVariable, "VAR=VALUE");
}

void CheckConfigured(const SVariable& variable, const SArguments& args)
{
    bool bConfigured = args.abySlaves.empty();
    for (std::uint8_t byConfigured : args.abySlaves)
        bConfigured = bConfigured || byConfigured == variable.byAddress;
    if (!bConfigured)
        throw CLI::ValidationError("slave " + std::to_string(variable.byAddress) +
                                   " is not configured (--slaves " + SlaveList(args.abySlaves) +
                                   ")");
}

} // namespace movactl
