// Every call dp_ptybus makes to the operating system: the pseudo-terminal pairs and the links
// to them, waiting for bytes or the next character's end, reading and writing, the clock, the
// signals, and the stats file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ptybus
{

// One station's place on the line: a pseudo-terminal pair whose other end a program opens as
// its serial port.
struct SPseudoTerminal
{
    std::string strName; // as the command line named it
    std::string strPath; // the other end, e.g. /dev/pts/7
    std::string strLink; // the link made to it, or empty
    int fdControl = -1;  // our end: what the station writes comes out here
    int fdHold = -1;     // the other end, held open by us (see OpenPseudoTerminals)
};

class CSystemCalls
{
public:
    CSystemCalls() = default;
    ~CSystemCalls(); // closes the pairs, removes the links that are still ours
    CSystemCalls(const CSystemCalls&) = delete;
    CSystemCalls& operator=(const CSystemCalls&) = delete;

    // SIGTERM, SIGINT and SIGHUP ask to stop, SIGUSR1 for the stats; they are held back except
    // while Wait waits, so none is lost between a look at the flags and the wait.
    static bool CatchSignals(std::string& strError);
    static bool StopRequested();
    static bool TakeStatsRequest(); // true once per SIGUSR1

    // One pair per name, each with a link strLinkDir/name when strLinkDir is not empty.
    bool OpenPseudoTerminals(const std::vector<std::string>& astrNames,
                             const std::string& strLinkDir, std::string& strError);
    const std::vector<SPseudoTerminal>& Terminals() const { return m_terminals; }

    // Waits until one of the stations marked in abWantRead has written, a signal came, or
    // qwDeadlineNs (monotonic) has passed. abReadable says who has something to read. False
    // when the wait itself failed.
    bool Wait(const std::vector<bool>& abWantRead, std::uint64_t qwDeadlineNs,
              std::vector<bool>& abReadable);

    // What station n wrote, at most nCapacity bytes; 0 when nothing is there, -1 on a failure.
    long Read(std::size_t n, std::uint8_t* pbyBuffer, std::size_t nCapacity);
    // Hands bytes to station n without waiting: the count taken (fewer when its side is full
    // because nobody reads it), -1 on a failure.
    long Write(std::size_t n, const std::uint8_t* pbyBytes, std::size_t nCount);

    static std::uint64_t NowNs();

    // Writes the text to a file of its own beside strPath and renames it over strPath, so a
    // reader sees the old text or the new one, never a part.
    static bool WriteFileAtomically(const std::string& strPath, const std::string& strText);

private:
    void CloseAll();

    std::vector<SPseudoTerminal> m_terminals;
};

} // namespace ptybus
