// A live plot small enough to stand beside a number: the last rounds of one variable as a row
// of characters, each as high as its value within the lowest and highest value shown.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>

namespace movactl
{

enum class teGlyphs
{
    Blocks, // ▁▂▃▄▅▆▇█, for terminals that show UTF-8
    Ascii   // _.-:=+*#, for every other terminal
};

class CSparkline
{
public:
    // The rounds shown, newest on the right; at least 1.
    explicit CSparkline(std::size_t nWidth);

    // The value of the next round; none when the round brought no value (a failed read).
    void Add(std::optional<double> value);

    // One character per round: nWidth of them, blanks before the first round. A round without
    // a value is 'x'; with every value the same, each is at the lowest height.
    std::string Render(teGlyphs eGlyphs) const;

    // Of the rounds shown; none while no shown round has a value.
    std::optional<double> Min() const;
    std::optional<double> Max() const;

private:
    std::size_t m_nWidth;
    std::deque<std::optional<double>> m_aValues;
};

} // namespace movactl
