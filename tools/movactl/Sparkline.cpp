#include "tools/movactl/Sparkline.h"

#include <algorithm>
#include <cmath>

namespace movactl
{

namespace
{

constexpr const char* kBlocks[] = {"\u2581", "\u2582", "\u2583", "\u2584",
                                   "\u2585", "\u2586", "\u2587", "\u2588"};
constexpr char kAscii[] = "_.-:=+*#";
constexpr std::size_t kLevels = 8;

} // namespace

CSparkline::CSparkline(std::size_t nWidth) : m_nWidth(std::max<std::size_t>(nWidth, 1)) {}

void CSparkline::Add(std::optional<double> value)
{
    // A NaN has no height; it is drawn as a round without a value.
    if (value && std::isnan(*value))
        value.reset();
    m_aValues.push_back(value);
    if (m_aValues.size() > m_nWidth)
        m_aValues.pop_front();
}

std::optional<double> CSparkline::Min() const
{
    std::optional<double> least;
    for (const std::optional<double>& value : m_aValues)
    {
        if (value && (!least || *value < *least))
            least = value;
    }
    return least;
}

std::optional<double> CSparkline::Max() const
{
    std::optional<double> most;
    for (const std::optional<double>& value : m_aValues)
    {
        if (value && (!most || *value > *most))
            most = value;
    }
    return most;
}

std::string CSparkline::Render(teGlyphs eGlyphs) const
{
    std::string strLine(m_nWidth - m_aValues.size(), ' ');
    std::optional<double> least = Min();
    std::optional<double> most = Max();
    for (const std::optional<double>& value : m_aValues)
    {
        if (!value)
        {
            strLine += 'x';
            continue;
        }
        std::size_t nLevel = 0;
        // An infinite bound leaves no room for a scale: the finite values stay at the bottom.
        double dSpan = *most - *least;
        if (dSpan > 0 && std::isfinite(dSpan))
        {
            double dLevel = std::round((*value - *least) / dSpan * (kLevels - 1));
            nLevel = static_cast<std::size_t>(std::clamp(dLevel, 0.0, double(kLevels - 1)));
        }
        else if (std::isinf(*value) && *value > 0)
            nLevel = kLevels - 1;
        if (eGlyphs == teGlyphs::Blocks)
            strLine += kBlocks[nLevel];
        else
            strLine += kAscii[nLevel];
    }
    return strLine;
}

} // namespace movactl
