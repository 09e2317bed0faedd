// Open-file-description locks on byte 0 of a file, the one cross-process lock we build on:
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

inline flock Byte0Lock(short nType)
{
    flock lock{};
    lock.l_type = nType;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    return lock;
}

// Takes (F_RDLCK, F_WRLCK) or gives back (F_UNLCK) the lock; bWait waits for other holders.
// Returns 0, or the errno of the refusal, EAGAIN when another holder is in the way.
inline int SetByte0Lock(int fd, short nType, bool bWait)
{
    flock lock = Byte0Lock(nType);
    while (fcntl(fd, bWait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0)
    {
        if (errno != EINTR)
            return errno == EACCES ? EAGAIN : errno;
    }
    return 0;
}

// Whether another open file description holds a lock on byte 0.
inline bool HasOtherByte0Holder(int fd)
{
    flock lock = Byte0Lock(F_WRLCK);
    return fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
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
