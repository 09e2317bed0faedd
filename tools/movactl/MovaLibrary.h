// The library loaded by file name, as a host loads it: its two factories are looked up, and
// the job factory is the one movactl uses.
#pragma once

#include "include/MovaJob.h"

#include <string>

namespace movactl
{

class CMovaLibrary
{
public:
    CMovaLibrary() = default;
    ~CMovaLibrary(); // unloads; every object of the library must be released by then
    CMovaLibrary(const CMovaLibrary&) = delete;
    CMovaLibrary& operator=(const CMovaLibrary&) = delete;

    // An empty path means the default libraries (LibraryLoader.h), tried in turn.
    bool Load(const std::string& strPath, std::string& strError);

    // A new job whose one reference is the caller's; null with the reason.
    IMovaJob* CreateJob(std::string& strError);

    const std::string& GetPath() const { return m_strPath; }

private:
    bool Open(const std::string& strPath, std::string& strError);

    void* m_pLibrary = nullptr;
    PFN_CREATE_IMOVAJOB m_pfnCreateJob = nullptr;
    std::string m_strPath;
};

} // namespace movactl
