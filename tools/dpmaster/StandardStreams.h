// What the master and the slave simulator do with their standard streams that differs between
// the systems: writing a line out, starting the writer thread so that no stop request or
// broken pipe lands on it, and looking at standard input without waiting for it.
#pragma once

#include <cstddef>
#include <string>

namespace dpmaster
{

// Writes every byte to the output (1 standard output, 2 standard error), waiting while it
// takes nothing; false once the output is gone (its reader closed it).
bool WriteToOutput(int fd, const std::string& strText);

// While one exists, threads that the calling thread starts take no stop request and no broken
// pipe as a signal (POSIX); nothing to do on Windows, where neither is a signal of a thread.
class CWriterThreadSignals
{
public:
    CWriterThreadSignals();
    ~CWriterThreadSignals();
    CWriterThreadSignals(const CWriterThreadSignals&) = delete;
    CWriterThreadSignals& operator=(const CWriterThreadSignals&) = delete;

private:
    unsigned char m_abySaved[128]; // the thread's signal mask before
};

// What standard input has brought, without waiting: the byte count, 0 when nothing is there
// now, -1 once it has ended.
long ReadStandardInputNow(char* pchBuffer, std::size_t nCapacity);

} // namespace dpmaster
