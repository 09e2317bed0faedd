// The file that holds a board's master status: a shared memory object of this user, named
// like the board's own (KORIXSIM_PREFIX keeps tests apart). Neither the writer nor the
// readers map it: they copy into and out of it, so that a file that shrinks under them ends
// a write or a read rather than the process. dp/status/posix/MasterStatusFile.cpp holds the system
// calls; on Windows (dp/status/win32/) the block is a named file mapping, which cannot shrink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dp
{

// "/<prefix>.<uid>.dpstatus<N>"; false when KORIXSIM_PREFIX is not usable.
bool MakeStatusName(std::uint8_t byBoard, std::string& strName);

// The writer's file of the block. The writer never maps it: any process of this user may open
// the file and cut it short, and a mapping of a shortened file ends its process with SIGBUS at
// the next update; a pwrite into a shortened file only makes it long again. Each block goes
// out between an odd and an even sequence count, so that readers tell a whole copy from a
// mixed one.
class CStatusBlockFile
{
public:
    CStatusBlockFile() = default;
    ~CStatusBlockFile();
    CStatusBlockFile(const CStatusBlockFile&) = delete;
    CStatusBlockFile& operator=(const CStatusBlockFile&) = delete;

    // Creates a file of its own holding the block (nSize bytes, its sequence count 0) under a
    // temporary name, exclusively and without following links, checks that it got what it
    // made, and then renames it over strName: whatever lay under the name before, a hard
    // link to another file included, is left as it was. Refuses when the name holds anything
    // but a plain file of this user (a FIFO, a folder, another user's file). False with the
    // reason; nothing is left under the temporary name.
    bool Create(const std::string& strName, const void* pBlock, std::size_t nSize,
                std::string& strError);
    bool IsOpen() const;

    // Writes the block (nSize bytes, at most what Create made) as the next update: the count
    // in the file odd, the block with that odd count, then the count even. False when the
    // system refused a write; the next update tries again.
    bool Publish(void* pBlock, std::size_t nSize);

private:
#ifdef _WIN32
    void* m_hMapping = nullptr; // HANDLE
    void* m_pView = nullptr;
#else
    int m_fd = -1;
#endif
    std::uint32_t m_dwSequence = 0;
};

// The process that serves the board by the board's own shared state: its registration marked
// as the serving one (sim/ServedBoard.h).
struct SBoardServer
{
    bool bServed = false;
    std::int32_t nPid = 0;
    std::uint64_t qwStartTime = 0;
};

// Reads the board's serving registration from the board's shared memory, read-only and
// without its lock; no server when the board has none, or has no shared state, or holds
// something that is no board state of this user.
SBoardServer ReadBoardServer(std::uint8_t byBoard);

class CStatusFile;
// The same, from the board's shared state opened as a status file (the system's side opens it).
SBoardServer ReadBoardServerFrom(CStatusFile& file, std::uint8_t byBoard);

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
#ifdef _WIN32
    void* m_hMapping = nullptr; // HANDLE
    const void* m_pView = nullptr;
    std::size_t m_nSize = 0; // the view's, whole pages
#else
    int m_fd = -1;
#endif
};

} // namespace dp
