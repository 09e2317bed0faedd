#include "sim/common/JsonFile.h"

#include "sim/common/PlantFields.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

namespace korix
{

namespace
{

// Line and column (from 1) of the byte at nByte (from 1, as the JSON parser counts).
std::string TextPosition(const std::string& strText, std::size_t nByte)
{
    std::size_t nEnd = nByte == 0 ? 0 : std::min(nByte - 1, strText.size());
    std::size_t nLine = 1;
    std::size_t nLineStart = 0;
    for (std::size_t i = 0; i < nEnd; ++i)
    {
        if (strText[i] == '\n')
        {
            ++nLine;
            nLineStart = i + 1;
        }
    }
    return "line " + std::to_string(nLine) + ", column " + std::to_string(nEnd - nLineStart + 1);
}

// The parser's own words without its exception prefix and position.
std::string ParserReason(const char* pszWhat)
{
    std::string strWhat = pszWhat;
    std::size_t nColumn = strWhat.find("column ");
    std::size_t nColon = nColumn == std::string::npos ? nColumn : strWhat.find(": ", nColumn);
    return nColon == std::string::npos ? strWhat : strWhat.substr(nColon + 2);
}

// JSON lets a key repeat in an object and the parser keeps the last value, so
// {"address": 3, "address": 9} would load as address 9 without a word. The parser shows us
// every key as it reads it; this follows the place and stops at the first key seen twice.
class CDuplicateKeyFinder
{
public:
    struct SDuplicate
    {
        std::string strPlace;
    };

    // The parser's callback: throws SDuplicate at the first repeated key.
    bool operator()(int, json::parse_event_t eEvent, json& jParsed)
    {
        switch (eEvent)
        {
        case json::parse_event_t::object_start:
            StartContainer(false);
            break;
        case json::parse_event_t::array_start:
            StartContainer(true);
            break;
        case json::parse_event_t::object_end:
        case json::parse_event_t::array_end:
            if (!m_aFrames.empty())
                m_aFrames.pop_back();
            break;
        case json::parse_event_t::key:
        {
            SFrame& frame = m_aFrames.back();
            frame.strKey = jParsed.get<std::string>();
            if (!frame.keys.insert(frame.strKey).second)
                throw SDuplicate{Place()};
            break;
        }
        case json::parse_event_t::value:
            if (!m_aFrames.empty() && m_aFrames.back().bArray)
                ++m_aFrames.back().nElements;
            break;
        }
        return true;
    }

private:
    struct SFrame
    {
        bool bArray;
        std::size_t nElements = 0; // arrays: elements begun so far
        std::string strKey;        // objects: the key being read
        std::set<std::string> keys;
    };

    void StartContainer(bool bArray)
    {
        if (!m_aFrames.empty() && m_aFrames.back().bArray)
            ++m_aFrames.back().nElements;
        m_aFrames.push_back(SFrame{bArray, 0, {}, {}});
    }

    // The place of the current key, as the field reader's messages name places.
    std::string Place() const
    {
        std::string strPlace;
        for (const SFrame& frame : m_aFrames)
            strPlace = frame.bArray ? ElementPlace(strPlace, frame.nElements - 1)
                                    : MemberPlace(strPlace, frame.strKey);
        return strPlace;
    }

    std::vector<SFrame> m_aFrames;
};

// Why a path that exists is no plain file, in words.
const char* NotPlainFile(std::filesystem::file_type eType)
{
    switch (eType)
    {
    case std::filesystem::file_type::directory:
        return "a folder, not a plain file";
    case std::filesystem::file_type::fifo:
        return "a FIFO, not a plain file";
    default:
        return "not a plain file";
    }
}

} // namespace

bool ReadJsonFile(const std::string& strPath, std::string& strText, std::string& strError)
{
    // Only a plain file of a sane size: a FIFO would block the open until a writer came,
    // /dev/zero never ends and a folder reads as no text at all. A missing file is left to the
    // open below, which says why.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(strPath, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
    {
        strError = strPath + ": " + NotPlainFile(status.type());
        return false;
    }
    std::ifstream file(strPath, std::ios::binary);
    if (!file)
    {
        strError = strPath + ": " + std::strerror(errno);
        return false;
    }
    std::string strRead;
    char achBuffer[65536];
    while (file.read(achBuffer, sizeof achBuffer) || file.gcount() > 0)
    {
        strRead.append(achBuffer, static_cast<std::size_t>(file.gcount()));
        if (strRead.size() > kMaxJsonFileSize)
        {
            strError = strPath + ": larger than 1 MiB";
            return false;
        }
    }
    if (file.bad())
    {
        strError = strPath + ": cannot be read";
        return false;
    }
    strText = std::move(strRead);
    return true;
}

bool ParseJsonText(const std::string& strText, json& jRoot, std::string& strError)
{
    // The parser takes a NUL byte for the end of the text and would quietly drop what follows.
    const std::size_t nNul = strText.find('\0');
    if (nNul != std::string::npos)
    {
        strError = TextPosition(strText, nNul + 1) + ": a NUL byte; the file must be text";
        return false;
    }
    try
    {
        jRoot = json::parse(strText, CDuplicateKeyFinder());
        return true;
    }
    catch (const json::parse_error& e)
    {
        strError = TextPosition(strText, e.byte) + ": " + ParserReason(e.what());
    }
    catch (const CDuplicateKeyFinder::SDuplicate& duplicate)
    {
        strError = duplicate.strPlace + ": the key is given twice";
    }
    return false;
}

} // namespace korix
