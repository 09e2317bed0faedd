#include "tools/movactl/CommonOptions.h"

#include "tools/common/Numbers.h"

#include <string_view>

namespace movactl
{

const char* const kEveryCommandNote =
    "Every command also takes --board N, --watchdog T and --lib PATH (see movactl --help).";

namespace
{

// --slaves 3,4,5: each address from 1 to 125, none twice.
bool TakeSlaves(std::string_view list, std::vector<std::uint8_t>& abySlaves, std::string& strError)
{
    std::vector<std::uint8_t> abyResult;
    for (;;)
    {
        std::size_t nComma = list.find(',');
        std::string_view item = list.substr(0, nComma);
        std::uint64_t qwAddress = 0;
        if (!tools::ParseNumber(item, 125, qwAddress) || qwAddress < 1)
        {
            strError = "'" + std::string(item) + "' is not a slave address (1 to 125)";
            return false;
        }
        for (std::uint8_t byKnown : abyResult)
        {
            if (byKnown == qwAddress)
            {
                strError = "slave " + std::to_string(qwAddress) + " is listed twice";
                return false;
            }
        }
        abyResult.push_back(static_cast<std::uint8_t>(qwAddress));
        if (nComma == std::string_view::npos)
            break;
        list.remove_prefix(nComma + 1);
    }
    abySlaves = std::move(abyResult);
    return true;
}

CLI::Validator SlaveListCheck()
{
    return CLI::Validator(
        [](std::string& strText) -> std::string
        {
            std::vector<std::uint8_t> abySlaves;
            std::string strError;
            return TakeSlaves(strText, abySlaves, strError) ? std::string() : strError;
        },
        "LIST");
}

} // namespace

void CCommonOptions::AddTo(CLI::App& app)
{
    app.add_option("--board", m_uBoard, "board number (default 1)")
        ->check(tools::Number(1, 255))
        ->type_name("N");
    app.add_option("--watchdog", m_uWatchdog,
                   "board watchdog time in 10 ms, 0 for none (default 0)")
        ->check(tools::Number(0, 255))
        ->type_name("T");
    app.add_option("--lib", m_args.strLibrary,
                   "the library to load (default: the one built with movactl, else\n"
                   "libmovajob.so.1 from the library path)")
        ->type_name("PATH");
}

void CCommonOptions::AddSlaves(CLI::App& command)
{
    command
        .add_option("--slaves", m_strSlaves,
                    "configured slave addresses, e.g. 3,4,5 (default: every slave\n"
                    "the board reports, as 'scan' lists them)")
        ->check(SlaveListCheck());
}

void CCommonOptions::AddQuiet(CLI::App& command, const char* pszHelp)
{
    command.add_flag("--quiet", m_args.bQuiet, pszHelp);
}

const SArguments& CCommonOptions::Complete()
{
    m_args.nBoard = static_cast<std::int32_t>(m_uBoard);
    m_args.byWatchdog = static_cast<std::uint8_t>(m_uWatchdog);
    // The list passed its check already.
    std::string strError;
    if (!m_strSlaves.empty())
        TakeSlaves(m_strSlaves, m_args.abySlaves, strError);
    return m_args;
}

} // namespace movactl
