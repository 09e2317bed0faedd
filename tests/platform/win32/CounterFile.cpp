#include "tests/platform/CounterFile.h"

#include "platform/win32/WindowsHeaders.h"
#include "tests/support/ChildProcess.h"

namespace platformtest
{

namespace
{

HANDLE AsHandle(void* pHandle)
{
    return static_cast<HANDLE>(pHandle);
}

// ReadFile and WriteFile at this offset, whatever the file pointer says.
OVERLAPPED AtStart()
{
    OVERLAPPED position{};
    return position;
}

} // namespace

std::string CCounterFile::Create(const char* pszPrefix)
{
    char szFolder[MAX_PATH + 1];
    DWORD dwLength = GetTempPathA(sizeof szFolder, szFolder);
    if (dwLength == 0 || dwLength > MAX_PATH)
        return "";
    std::string strPath = szFolder + testsupport::UniqueName(pszPrefix);
    HANDLE hFile = CreateFileA(strPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return "";
    int nZero = 0;
    DWORD dwWritten = 0;
    bool bWritten =
        WriteFile(hFile, &nZero, sizeof nZero, &dwWritten, nullptr) && dwWritten == sizeof nZero;
    CloseHandle(hFile);
    if (!bWritten)
    {
        DeleteFileA(strPath.c_str());
        return "";
    }
    return strPath;
}

void CCounterFile::Remove(const std::string& strPath)
{
    DeleteFileA(strPath.c_str());
}

CCounterFile::CCounterFile(const std::string& strPath)
{
    HANDLE hFile = CreateFileA(strPath.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    m_hFile = hFile == INVALID_HANDLE_VALUE ? nullptr : hFile;
}

CCounterFile::~CCounterFile()
{
    if (m_pView != nullptr)
        UnmapViewOfFile(m_pView);
    if (m_hMapping != nullptr)
        CloseHandle(AsHandle(m_hMapping));
    if (m_hFile != nullptr)
        CloseHandle(AsHandle(m_hFile));
}

bool CCounterFile::IsOpen() const
{
    return m_hFile != nullptr;
}

bool CCounterFile::Read(int& nValue)
{
    OVERLAPPED position = AtStart();
    DWORD dwRead = 0;
    return m_hFile != nullptr &&
           ReadFile(AsHandle(m_hFile), &nValue, sizeof nValue, &dwRead, &position) &&
           dwRead == sizeof nValue;
}

bool CCounterFile::Write(int nValue)
{
    OVERLAPPED position = AtStart();
    DWORD dwWritten = 0;
    return m_hFile != nullptr &&
           WriteFile(AsHandle(m_hFile), &nValue, sizeof nValue, &dwWritten, &position) &&
           dwWritten == sizeof nValue;
}

int* CCounterFile::Map()
{
    if (m_pView == nullptr && m_hFile != nullptr)
    {
        m_hMapping =
            CreateFileMappingA(AsHandle(m_hFile), nullptr, PAGE_READWRITE, 0, sizeof(int), nullptr);
        if (m_hMapping != nullptr)
            m_pView = static_cast<int*>(MapViewOfFile(
                AsHandle(m_hMapping), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(int)));
    }
    return m_pView;
}

} // namespace platformtest
