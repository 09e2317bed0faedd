// Ends of the master that the system asks for, beside a person's stop request (Ctrl-C, SIGTERM:
// tools/common/StopRequest.h). On Windows: closing the console window, logging off, shutting
// down, and the service control manager's stop. Windows ends the process as soon as a console
// handler returns, so the handler waits until the master has let the board go (the end of
// this object's life), within the few seconds the system grants. On POSIX the signals say it
// all: nothing to do here.
#pragma once

namespace dpmaster
{

class CSystemEnd
{
public:
    // bService: run by the service control manager, which a user's logging off does not end.
    explicit CSystemEnd(bool bService = false);
    ~CSystemEnd(); // the board is let go: a waiting handler may return
    CSystemEnd(const CSystemEnd&) = delete;
    CSystemEnd& operator=(const CSystemEnd&) = delete;

    static bool IsRequested();
    // Asks for the end as the system would (the service's stop control).
    static void Request();
};

} // namespace dpmaster
