// A shared file whose name was removed while processes still use it: the login manager's
// RemoveIPC=yes removes a user's files in /dev/shm when the user's last session ends, and a
// user may remove them by hand, while programs that opened them go on. A process that then
// looks for the name finds nothing; the file itself lives on in the processes that hold it.
#pragma once

namespace platform::posix
{

// A new descriptor (opened with nFlags, O_CLOEXEC added) on a plain file of this user that
// was named pszPath, whose name is gone, and that a live process of this user still holds open;
// -1 when there is none. Found through /proc/<pid>/fd, which lists such a file as
// "<path> (deleted)"; processes whose descriptors we may not see are passed over.
int ReopenRemovedFile(const char* pszPath, int nFlags);

} // namespace platform::posix
