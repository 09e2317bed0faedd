// libFuzzer target: any byte stream, fed in chunks whose sizes the input also chooses, with
// idle moments between chunks. Whatever the parser hands out must be a telegram that encodes
// again and parses back to itself, and the parser must never hold more than one telegram's
// bytes.
//
//   build/dev/dp/telegram_parser_fuzzer -max_total_time=600 CORPUS_DIR
#include "dp/fdl/TelegramParser.h"

#include <cstdlib>
#include <cstring>

namespace
{

void CheckRoundTrip(const dp::STelegram& telegram)
{
    std::uint8_t abyBytes[dp::kMaxTelegramSize];
    const std::size_t nSize = dp::EncodeTelegram(telegram, abyBytes, sizeof abyBytes);
    if (nSize == 0)
        std::abort();
    dp::CTelegramParser again;
    if (again.Feed(abyBytes, nSize) != nSize)
        std::abort();
    dp::STelegram back;
    if (!again.Take(back) || !dp::SameTelegram(telegram, back) || again.BufferedBytes() != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbyData, std::size_t nSize)
{
    dp::CTelegramParser parser;
    dp::STelegram telegram;
    std::size_t nAt = 0;
    while (nAt < nSize)
    {
        // The first byte of each chunk gives its length (1 to 64) and whether the line goes
        // idle after it.
        const std::uint8_t byControl = pbyData[nAt++];
        std::size_t nChunk = (byControl & 0x3F) + 1u;
        if (nChunk > nSize - nAt)
            nChunk = nSize - nAt;
        std::size_t nFed = 0;
        while (nFed < nChunk)
        {
            nFed += parser.Feed(pbyData + nAt + nFed, nChunk - nFed);
            if (parser.BufferedBytes() > dp::kMaxTelegramSize)
                std::abort();
            while (parser.Take(telegram))
                CheckRoundTrip(telegram);
        }
        nAt += nChunk;
        if ((byControl & 0x40) != 0)
        {
            while (parser.NoteIdle())
            {
                if (!parser.Take(telegram))
                    std::abort();
                CheckRoundTrip(telegram);
            }
        }
    }
    return 0;
}
