#include "dp/scan/GsdCatalog.h"

#include "dp/gsd/GsdFileText.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace dp
{

namespace
{

namespace fs = std::filesystem;

bool HasGsdExtension(const fs::path& path)
{
    const std::string strExtension = path.extension().string();
    return strExtension.size() == 4 && strExtension[0] == '.' &&
           std::tolower(static_cast<unsigned char>(strExtension[1])) == 'g' &&
           std::tolower(static_cast<unsigned char>(strExtension[2])) == 's';
}

class CWalk
{
public:
    CWalk(const std::set<std::uint16_t>& wanted, const SGsdCatalogLimits& limits,
          SGsdCatalog& catalog)
        : m_wanted(wanted), m_limits(limits), m_catalog(catalog)
    {
    }

    void Folder(const fs::path& folder, std::size_t nDepth)
    {
        std::error_code error;
        const fs::path canonical = fs::canonical(folder, error);
        if (error)
        {
            Refuse(folder.string() + ": " + error.message());
            return;
        }
        if (!m_visited.insert(canonical.string()).second)
        {
            ++m_catalog.nLoopsSkipped;
            return;
        }
        // Sorted, so that the same folder gives the same choice every time.
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error))
        {
            if (++m_catalog.nEntries > m_limits.nMaxEntries)
            {
                Stop("stopped after " + std::to_string(m_limits.nMaxEntries) +
                     " names: the folder holds more than a GSD folder does");
                break;
            }
            entries.push_back(*it);
        }
        std::sort(entries.begin(), entries.end(),
                  [](const fs::directory_entry& a, const fs::directory_entry& b)
                  { return a.path() < b.path(); });
        for (const fs::directory_entry& entry : entries)
        {
            std::error_code kind;
            if (entry.is_directory(kind))
            {
                if (nDepth + 1 >= m_limits.nMaxDepth)
                    Stop("folders deeper than " + std::to_string(m_limits.nMaxDepth) +
                         " levels were not looked into");
                else
                    Folder(entry.path(), nDepth + 1);
            }
            else if (HasGsdExtension(entry.path()))
                File(entry.path());
        }
    }

private:
    void File(const fs::path& path)
    {
        if (m_catalog.nFilesRead >= m_limits.nMaxFiles)
        {
            Stop("stopped after " + std::to_string(m_limits.nMaxFiles) + " GSD files");
            return;
        }
        ++m_catalog.nFilesRead;
        SGsdStation station;
        std::string strError;
        if (!ReadGsdFile(path.string(), station, strError))
        {
            Refuse(strError);
            return;
        }
        if (!station.identNumber.Given() || station.identNumber.nValue < 0 ||
            station.identNumber.nValue > 0xFFFF)
        {
            Refuse(path.string() + ": declares no Ident_Number");
            return;
        }
        const auto wIdent = static_cast<std::uint16_t>(station.identNumber.nValue);
        if (m_wanted.empty() || m_wanted.count(wIdent) != 0)
            m_catalog.byIdent[wIdent].push_back(std::move(station));
    }

    void Refuse(const std::string& strWhy)
    {
        if (m_catalog.refused.size() < kMaxRefusalsKept)
            m_catalog.refused.push_back(strWhy);
        ++m_catalog.nRefused;
    }

    void Stop(const std::string& strWhy)
    {
        if (m_catalog.strStopped.empty())
            m_catalog.strStopped = strWhy;
    }

    const std::set<std::uint16_t>& m_wanted;
    const SGsdCatalogLimits& m_limits;
    SGsdCatalog& m_catalog;
    std::set<std::string> m_visited;
};

} // namespace

bool ReadGsdCatalog(const std::string& strFolder, const std::set<std::uint16_t>& wanted,
                    SGsdCatalog& catalog, std::string& strError, const SGsdCatalogLimits& limits)
{
    std::error_code error;
    if (!fs::is_directory(strFolder, error))
    {
        strError = strFolder + ": " + (error ? error.message() : "not a folder");
        return false;
    }
    catalog = SGsdCatalog{};
    CWalk(wanted, limits, catalog).Folder(strFolder, 0);
    return true;
}

} // namespace dp
