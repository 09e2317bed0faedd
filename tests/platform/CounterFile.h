// A small file that a test and its peers open by path to count across processes: with a read
// and a write at offset 0, which together are no atomic change, so that overlapping rounds
// lose counts; or through a view of its first int that every process mapping it shares.
// posix/ and win32/ implement it.
#pragma once

#include <string>

namespace platformtest
{

class CCounterFile
{
public:
    // Creates a new file that holds one int, 0, under a name of its own (in /dev/shm on Linux,
    // in the temporary folder on Windows); "" on failure.
    static std::string Create(const char* pszPrefix);
    static void Remove(const std::string& strPath);

    // Opens the file for reading and writing.
    explicit CCounterFile(const std::string& strPath);
    ~CCounterFile();
    CCounterFile(const CCounterFile&) = delete;
    CCounterFile& operator=(const CCounterFile&) = delete;

    bool IsOpen() const;

    // The int at offset 0; false when it could not be read whole.
    bool Read(int& nValue);
    bool Write(int nValue);

    // The first int, shared with every process that maps the file; null on failure.
    int* Map();

private:
#if defined(_WIN32)
    void* m_hFile = nullptr; // HANDLEs
    void* m_hMapping = nullptr;
#else
    int m_fd = -1;
#endif
    int* m_pView = nullptr;
};

} // namespace platformtest
