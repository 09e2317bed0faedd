// Holding a serial port alone. Two conventions keep others off the line while the master
// drives it: the lock file every serial program on the system honours (LCK..ttyUSB0 in
// /run/lock, the holder's pid in ten ASCII characters and a newline), taken before the port is
// opened, so that a second master or a terminal program learns who holds the port; and the
// terminal's exclusive mode (TIOCEXCL), which refuses any further open of the port, also by a
// program that knows nothing of lock files.
#pragma once

#include <string>

namespace dp
{

class CSerialPortLock
{
public:
    // strLockDir: where the lock files lie; DefaultLockDir() when empty.
    explicit CSerialPortLock(std::string strLockDir = {});
    ~CSerialPortLock();
    CSerialPortLock(const CSerialPortLock&) = delete;
    CSerialPortLock& operator=(const CSerialPortLock&) = delete;

    // Takes the port's lock file. False, with the holder named, while a live process holds it;
    // a lock file whose process has ended is taken over. A folder where we may not write gives
    // true with a Warning(): the port is then held by its exclusive mode alone.
    bool Take(const std::string& strPort, std::string& strError);
    // Removes the lock file, if it is still ours.
    void Release();

    const std::string& Warning() const { return m_strWarning; }
    const std::string& LockPath() const { return m_strLockPath; }

    // /run/lock where it exists, else /var/lock.
    static std::string DefaultLockDir();
    // "LCK..ttyUSB0" for /dev/ttyUSB0 or a link to it; "LCK..pts_3" for /dev/pts/3.
    static std::string LockFileName(const std::string& strPort);

private:
    std::string m_strLockDir;
    std::string m_strLockPath; // set while we hold the lock
    std::string m_strWarning;
};

// Puts the open port into exclusive mode: every further open fails with "device busy" (for
// all but the superuser). Pseudo-terminals are left alone: the peer that keeps their other end
// open would keep them exclusive after a killed master, and its successor could not open them.
bool HoldPortExclusively(int fd, const std::string& strPort, std::string& strError);

// Leaves exclusive mode again, before the port is closed.
void ReleasePortExclusively(int fd);

} // namespace dp
