// The file that holds a board's master status: a shared memory object of this user, named
// like the board's own (KORIXSIM_PREFIX keeps tests apart). The writer maps it; readers only
// copy out of it, so that a file that shrinks under them ends a read rather than the reader.
// dp/posix/MasterStatusFile.cpp holds the system calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dp
{

// "/<prefix>.<uid>.dpstatus<N>"; false when KORIXSIM_PREFIX is not usable.
bool MakeStatusName(std::uint8_t byBoard, std::string& strName);

// The writer's mapping of the block, read and write, kept until it is destroyed.
class CStatusMapping
{
public:
    CStatusMapping() = default;
    ~CStatusMapping();
    CStatusMapping(const CStatusMapping&) = delete;
    CStatusMapping& operator=(const CStatusMapping&) = delete;

    // Creates the file, or takes over the one an earlier master left, with nSize bytes, and
    // maps it. Refuses anything but a plain file of this user, without blocking on a FIFO.
    bool Create(const std::string& strName, std::size_t nSize, std::string& strError);

    void* Data() const { return m_pView; }
    std::size_t Size() const { return m_nSize; }

private:
    void* m_pView = nullptr;
    std::size_t m_nSize = 0;
};

enum class teStatusOpen
{
    Opened,
    Missing,  // nothing under the name
    NotAFile, // a FIFO, a folder, a device
    NotOurs,  // another user's file
    Failed
};

// A reader's descriptor of the block's file, opened read-only, without blocking and without
// following links.
class CStatusFile
{
public:
    CStatusFile() = default;
    ~CStatusFile();
    CStatusFile(const CStatusFile&) = delete;
    CStatusFile& operator=(const CStatusFile&) = delete;

    teStatusOpen Open(const std::string& strName, std::string& strError);
    // The file's size now; -1 when it cannot be told.
    long long Size() const;
    // Copies up to nCount bytes from nOffset; how many it copied (fewer at the file's end),
    // -1 on failure.
    long long ReadAt(std::size_t nOffset, void* pBuffer, std::size_t nCount) const;

private:
    int m_fd = -1;
};

} // namespace dp
