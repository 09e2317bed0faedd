#include "tools/dpmaster/StatusAsked.h"

#include "tools/common/StopRequest.h"
#include "tools/dpmaster/StandardStreams.h"
#include "tools/dpmaster/SystemEnd.h"

#include <string>
#include <vector>

namespace dpmaster
{

bool StatusAsked(bool& bInputOpen, CInputLines& input, CEventWriter& errors)
{
    if (!bInputOpen)
        return false;
    char achBuffer[4096];
    const long n = ReadStandardInputNow(achBuffer, sizeof achBuffer);
    if (n <= 0)
    {
        bInputOpen = n == 0;
        return false;
    }
    std::vector<std::string> lines;
    input.Add(achBuffer, static_cast<std::size_t>(n), lines);
    if (input.TakeDroppedNotice())
        errors.Post(std::string("korix-dpmaster: ") + "standard input: a line longer than " +
                    std::to_string(CInputLines::kDefaultMaxLength) +
                    " characters was ignored, and so will be any other (the command is "
                    "\"status\")");
    bool bAsked = false;
    for (const std::string& strLine : lines)
        bAsked = bAsked || strLine == "status";
    return bAsked;
}

bool StopRequested()
{
    return tools::CStopRequest::IsStopRequested() || CSystemEnd::IsRequested();
}

} // namespace dpmaster
