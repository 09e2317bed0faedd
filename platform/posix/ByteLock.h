// Open-file-description locks on one byte of a file, the one cross-process lock we build on:
// they belong to an open file description rather than to a process (two descriptors in one
// process exclude each other), they work between 32-bit and 64-bit processes, and the kernel
// drops them when their holder dies.
#pragma once

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::posix
{

inline flock ByteLock(short nType, off_t nByte)
{
    flock lock{};
    lock.l_type = nType;
    lock.l_whence = SEEK_SET;
    lock.l_start = nByte;
    lock.l_len = 1;
    return lock;
}

// Takes (F_RDLCK, F_WRLCK) or gives back (F_UNLCK) the lock on the byte; bWait waits for other
// holders. Returns 0, or the errno of the refusal, EAGAIN when another holder is in the way.
inline int SetByteLock(int fd, short nType, bool bWait, off_t nByte)
{
    flock lock = ByteLock(nType, nByte);
    while (fcntl(fd, bWait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0)
    {
        if (errno != EINTR)
            return errno == EACCES ? EAGAIN : errno;
    }
    return 0;
}

inline int SetByte0Lock(int fd, short nType, bool bWait)
{
    return SetByteLock(fd, nType, bWait, 0);
}

// Whether another open file description holds a lock on the byte.
inline bool HasOtherByteHolder(int fd, off_t nByte)
{
    flock lock = ByteLock(F_WRLCK, nByte);
    return fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

inline bool HasOtherByte0Holder(int fd)
{
    return HasOtherByteHolder(fd, 0);
}

// /dev/shm is writable by everybody: a file there that is not a plain file of this user (one
// that another user placed under our name, a FIFO, a device) must never become shared state
// or a lock we share.
inline bool IsOwnRegularFile(int fd)
{
    struct stat st = {};
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid();
}

} // namespace platform::posix
