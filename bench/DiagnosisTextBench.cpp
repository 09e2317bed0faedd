// A diagnosis in words at its worst, which the master may put into words between requests:
// - as many empty device blocks as a diagnosis holds, against the most areas a description may
//   declare, and against a hundred times that many given by a program (only the most are
//   looked at);
// - seven blocks of 32 bytes all set, where every area begins and is set: the text is cut short.
#include "dp/services/DiagnosisText.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace
{

dp::SDiagTexts Areas(std::size_t nCount)
{
    dp::SDiagTexts texts;
    for (std::size_t i = 0; i < nCount; ++i)
    {
        const auto dwFirst = static_cast<std::uint32_t>(i % 8);
        const auto dwLast = static_cast<std::uint32_t>(dwFirst + i / 8 % 32);
        const std::uint32_t dwWidth = dwLast - dwFirst + 1;
        const std::uint32_t dwAllSet = dwWidth == 32 ? 0xFFFFFFFFu : (1u << dwWidth) - 1;
        texts.unitAreas.push_back({dwFirst,
                                   dwLast,
                                   {{0, "area " + std::to_string(i) + " clear"},
                                    {dwAllSet, "area " + std::to_string(i) + " set"}}});
    }
    return texts;
}

dp::SSlaveDiag Diagnosis(std::vector<std::uint8_t>& abyDiag, bool bFull)
{
    abyDiag = {0x08, 0x04, 0x00, 0x02, 0x12, 0x34};
    if (bFull)
    {
        for (int nBlock = 0; nBlock < 7; ++nBlock)
        {
            abyDiag.push_back(0x21);
            abyDiag.insert(abyDiag.end(), 32, 0xFF);
        }
    }
    while (abyDiag.size() < 244)
        abyDiag.push_back(0x01);
    dp::SSlaveDiag diag;
    dp::DecodeSlaveDiag(dp::ByteView(abyDiag.data(), abyDiag.size()), diag);
    return diag;
}

void BM_DiagnosisWordsWorstCase(benchmark::State& state)
{
    const dp::SDiagTexts texts = Areas(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> abyDiag;
    const dp::SSlaveDiag diag = Diagnosis(abyDiag, state.range(1) != 0);
    std::size_t nLength = 0;
    for (auto _ : state)
    {
        const std::string strText = dp::DiagnosisText(diag, &texts);
        nLength = strText.size();
        benchmark::DoNotOptimize(strText.data());
    }
    state.counters["text_length"] = static_cast<double>(nLength);
}
BENCHMARK(BM_DiagnosisWordsWorstCase)
    ->Args({static_cast<long>(dp::kMaxUnitDiagAreas), 0})
    ->Args({static_cast<long>(dp::kMaxUnitDiagAreas), 1})
    ->Args({static_cast<long>(dp::kMaxUnitDiagAreas) * 100, 0})
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
