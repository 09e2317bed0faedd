// The status block's file on Windows is a named file mapping over the paging file, as the
// board's state is (sim/win32/SharedBoard.cpp). A mapping keeps the size it was made with, so
// the writer maps it and writes into the view: nobody can shorten it under us. Readers map it
// read-only and copy out of it. The mapping lives while a process holds it open: once the
// master has ended and no reader has it open, the name is free again.
#include "dp/status/MasterStatusFile.h"

#include "dp/status/MasterStatusBlock.h"
#include "sim/ServedBoard.h"
#include "sim/common/BoardPrefix.h"

#include "platform/win32/WindowsHeaders.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace dp
{

namespace
{

constexpr std::size_t kSequenceAt = offsetof(SStatusHeader, dwSequence);

bool MakeName(const char* pszWhat, std::uint8_t byBoard, std::string& strName)
{
    const char* pszPrefix = korix::BoardNamePrefix();
    if (pszPrefix == nullptr)
        return false;
    char szName[128];
    int nLength = std::snprintf(szName, sizeof szName, "%s.%s%u", pszPrefix, pszWhat,
                                static_cast<unsigned>(byBoard));
    if (nLength <= 0 || static_cast<std::size_t>(nLength) >= sizeof szName)
        return false;
    strName = szName;
    return true;
}

std::string SystemMessage(DWORD dwError)
{
    char szText[256] = {};
    DWORD dwLength = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, dwError, 0, szText, sizeof szText, nullptr);
    while (dwLength > 0 && (szText[dwLength - 1] == '\n' || szText[dwLength - 1] == '\r' ||
                            szText[dwLength - 1] == '.'))
        szText[--dwLength] = '\0';
    return dwLength == 0 ? "error " + std::to_string(dwError) : std::string(szText);
}

void StoreSequence(void* pView, std::uint32_t dwSequence)
{
    std::atomic_thread_fence(std::memory_order_seq_cst);
    std::memcpy(static_cast<char*>(pView) + kSequenceAt, &dwSequence, sizeof dwSequence);
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

} // namespace

bool MakeStatusName(std::uint8_t byBoard, std::string& strName)
{
    return MakeName("dpstatus", byBoard, strName);
}

bool CStatusBlockFile::IsOpen() const
{
    return m_pView != nullptr;
}

CStatusBlockFile::~CStatusBlockFile()
{
    if (m_pView != nullptr)
        UnmapViewOfFile(m_pView);
    if (m_hMapping != nullptr)
        CloseHandle(static_cast<HANDLE>(m_hMapping));
}

bool CStatusBlockFile::Create(const std::string& strName, const void* pBlock, std::size_t nSize,
                              std::string& strError)
{
    if (nSize < sizeof(SStatusHeader))
    {
        strError = strName + ": no room for a status block";
        return false;
    }
    // A mapping under the name that is still open (a reader of the last master's block, or
    // that master's last moments) is taken over when it is large enough: the board is ours.
    HANDLE hMapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         static_cast<DWORD>(nSize), strName.c_str());
    if (hMapping == nullptr)
    {
        strError = strName + ": " + SystemMessage(GetLastError());
        return false;
    }
    void* pView = MapViewOfFile(hMapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, nSize);
    if (pView == nullptr)
    {
        strError = strName + ": held open by another process, and smaller than this block";
        CloseHandle(hMapping);
        return false;
    }
    StoreSequence(pView, 1);
    std::memcpy(pView, pBlock, nSize);
    StoreSequence(pView, 0);
    m_hMapping = hMapping;
    m_pView = pView;
    m_dwSequence = 0;
    return true;
}

bool CStatusBlockFile::Publish(void* pBlock, std::size_t nSize)
{
    if (m_pView == nullptr || nSize < sizeof(SStatusHeader))
        return false;
    const std::uint32_t dwOdd = m_dwSequence | 1u;
    std::memcpy(static_cast<char*>(pBlock) + kSequenceAt, &dwOdd, sizeof dwOdd);
    StoreSequence(m_pView, dwOdd);
    std::memcpy(m_pView, pBlock, nSize);
    const std::uint32_t dwEven = dwOdd + 1;
    StoreSequence(m_pView, dwEven);
    m_dwSequence = dwEven;
    return true;
}

SBoardServer ReadBoardServer(std::uint8_t byBoard)
{
    std::string strName;
    std::string strError;
    CStatusFile file;
    if (!MakeName("board", byBoard, strName) ||
        file.Open(strName, strError) != teStatusOpen::Opened)
        return SBoardServer{};
    return ReadBoardServerFrom(file, byBoard);
}

CStatusFile::~CStatusFile()
{
    if (m_pView != nullptr)
        UnmapViewOfFile(m_pView);
    if (m_hMapping != nullptr)
        CloseHandle(static_cast<HANDLE>(m_hMapping));
}

teStatusOpen CStatusFile::Open(const std::string& strName, std::string& strError)
{
    HANDLE hMapping = OpenFileMappingA(FILE_MAP_READ, FALSE, strName.c_str());
    if (hMapping == nullptr)
    {
        const DWORD dwError = GetLastError();
        strError = strName + ": " + SystemMessage(dwError);
        return dwError == ERROR_FILE_NOT_FOUND ? teStatusOpen::Missing : teStatusOpen::Failed;
    }
    const void* pView = MapViewOfFile(hMapping, FILE_MAP_READ, 0, 0, 0);
    MEMORY_BASIC_INFORMATION info = {};
    if (pView == nullptr || VirtualQuery(pView, &info, sizeof info) == 0)
    {
        strError = strName + ": " + SystemMessage(GetLastError());
        if (pView != nullptr)
            UnmapViewOfFile(pView);
        CloseHandle(hMapping);
        return teStatusOpen::Failed;
    }
    m_hMapping = hMapping;
    m_pView = pView;
    m_nSize = info.RegionSize;
    return teStatusOpen::Opened;
}

long long CStatusFile::Size() const
{
    return m_pView == nullptr ? -1 : static_cast<long long>(m_nSize);
}

long long CStatusFile::ReadAt(std::size_t nOffset, void* pBuffer, std::size_t nCount) const
{
    if (m_pView == nullptr)
        return -1;
    if (nOffset >= m_nSize)
        return 0;
    const std::size_t nTaken = nCount < m_nSize - nOffset ? nCount : m_nSize - nOffset;
    std::atomic_thread_fence(std::memory_order_seq_cst);
    std::memcpy(pBuffer, static_cast<const char*>(m_pView) + nOffset, nTaken);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return static_cast<long long>(nTaken);
}

} // namespace dp
