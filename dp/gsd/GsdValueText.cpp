#include "dp/gsd/GsdValueText.h"

#include "dp/gsd/GsdValueReader.h"

#include <algorithm>

namespace dp
{

namespace
{

char LowerAscii(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

const SGsdPrmText* TextsOf(const SGsdStation& station, const SGsdUserPrm& prm)
{
    if (prm.nTextRefLine == 0)
        return nullptr;
    auto it = station.prmTexts.find(prm.dwTextRef);
    return it == station.prmTexts.end() ? nullptr : &it->second;
}

} // namespace

bool GsdSameName(const std::string& strA, const std::string& strB)
{
    return strA.size() == strB.size() &&
           std::equal(strA.begin(), strA.end(), strB.begin(),
                      [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

bool ReadGsdValue(const SGsdStation& station, const SGsdUserPrm& prm, const std::string& strText,
                  std::int64_t& nValue, std::string& strWhy)
{
    CGsdValueReader number(strText);
    if (number.ReadNumber(nValue) && number.ExpectEnd())
        return true;
    const SGsdPrmText* pTexts = TextsOf(station, prm);
    if (pTexts != nullptr)
    {
        // The exact spelling first: two texts may differ in case only.
        for (const auto& [nTextValue, strName] : pTexts->texts)
            if (strName == strText)
            {
                nValue = nTextValue;
                return true;
            }
        for (const auto& [nTextValue, strName] : pTexts->texts)
            if (GsdSameName(strName, strText))
            {
                nValue = nTextValue;
                return true;
            }
    }
    strWhy = "\"" + strText + "\" is not a number" +
             (pTexts != nullptr ? " nor one of the parameter's texts" : "");
    return false;
}

std::string GsdValueName(const SGsdStation& station, const SGsdUserPrm& prm, std::int64_t nValue)
{
    const SGsdPrmText* pTexts = TextsOf(station, prm);
    if (pTexts != nullptr)
        for (const auto& [nTextValue, strName] : pTexts->texts)
            if (nTextValue == nValue)
                return strName;
    return {};
}

} // namespace dp
