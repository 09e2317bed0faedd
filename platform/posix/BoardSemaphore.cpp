// The board semaphore as a 32-bit word in a per-user shared file: an exchange that meets nobody
// takes and gives it back with one compare-and-swap each, without a system call; only a waiter
// sleeps, on a futex. The word names the handle that holds it, so that a holder that died is
// recognised and the semaphore taken over. docs/board-semaphore.md describes the protocol for
// peers.
//
// Why not the kernel's robust futexes: their owner is a thread, listed on that thread's robust
// list (which glibc already uses for its own mutexes), and the kernel gives the lock back when
// that thread ends. Our owner is a handle: any thread of the process may give it back, and the
// thread that took it may end while the exchange goes on. So each handle claims a slot of its
// own in the file, marked by an open-file-description lock on the slot's byte that the kernel
// drops when the process ends, and a generation that a later owner of the slot raises: a word
// naming a slot whose byte is unlocked, or whose generation has moved on, names a holder that
// is gone, whatever pids were reused meanwhile.
#include "platform/BoardSemaphore.h"

#include "platform/posix/ByteLock.h"
#include "platform/posix/RemovedFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/futex.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace platform
{

namespace
{

// The file's layout, the same for 32-bit and 64-bit processes.
constexpr std::size_t kFileSize = 8192;
constexpr std::size_t kWordOffset = 64;          // the semaphore word, alone in its cache line
constexpr std::size_t kGenerationsOffset = 4096; // one 32-bit generation per slot
constexpr std::uint32_t kSlots = 1024;
constexpr off_t kSlotLockBase = 65536; // slot i is claimed by a write lock on this byte + i

// The word: 0 when free, else the holder's token, with this bit set once a waiter sleeps.
constexpr std::uint32_t kWaitersBit = 0x80000000u;
constexpr unsigned kSlotBits = 10;
constexpr std::uint32_t kGenerationMask = (1u << (31 - kSlotBits)) - 1;

// How long a waiter sleeps before it asks whether the holder is still there: the longest a
// holder killed while it holds the semaphore keeps the others waiting.
constexpr long kLivenessCheckMs = 20;
// A contended waiter first spins about as long as an exchange on the simulated board takes.
constexpr int kSpinRounds = 200;

static_assert(kSlots <= (1u << kSlotBits));
static_assert(kGenerationsOffset + kSlots * sizeof(std::uint32_t) <= kFileSize);

} // namespace

struct SBoardSemaphore
{
    int m_fd = -1;
    void* m_pMap = nullptr;
    std::uint32_t* m_pWord = nullptr;
    std::uint32_t* m_pGenerations = nullptr;
    std::uint32_t m_dwSlot = 0;
    std::uint32_t m_dwToken = 0; // generation << kSlotBits | slot, never 0
};

namespace
{

std::atomic_ref<std::uint32_t> Word(HBoardSemaphore hSemaphore)
{
    return std::atomic_ref<std::uint32_t>(*hSemaphore->m_pWord);
}

int OpenSemaphoreFile(const char* pszName)
{
    if (pszName == nullptr || *pszName == '\0' || std::strchr(pszName, '/') != nullptr)
        return -1;
    char szPath[PATH_MAX];
    int nLength = std::snprintf(szPath, sizeof szPath, "/dev/shm/movajob.%u.%s",
                                static_cast<unsigned>(geteuid()), pszName);
    if (nLength < 0 || static_cast<std::size_t>(nLength) >= sizeof szPath)
        return -1;
    int fd = open(szPath, O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    // Without a name the file may still be in use: the login manager removes a user's files in
    // /dev/shm at the end of the user's last session while the user's services run on. A new
    // file beside the one they use would let both groups exchange at once: take theirs.
    if (fd < 0 && errno == ENOENT)
    {
        fd = posix::ReopenRemovedFile(szPath, O_RDWR);
        if (fd < 0)
            fd = open(szPath, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    if (fd < 0)
        return -1;
    struct stat st = {};
    // Growing never changes what others see: the new bytes are zeros, as the layout expects.
    if (!posix::IsOwnRegularFile(fd) || fstat(fd, &st) != 0 ||
        (st.st_size < static_cast<off_t>(kFileSize) && ftruncate(fd, kFileSize) != 0))
    {
        close(fd);
        return -1;
    }
    return fd;
}

// A slot of the handle's own, held until the descriptor closes; false when all are in use.
bool ClaimSlot(SBoardSemaphore& semaphore)
{
    for (std::uint32_t dwSlot = 0; dwSlot < kSlots; ++dwSlot)
    {
        if (posix::SetByteLock(semaphore.m_fd, F_WRLCK, false, kSlotLockBase + dwSlot) != 0)
            continue;
        // Only the slot's owner writes its generation; a word naming an earlier one is stale.
        std::atomic_ref<std::uint32_t> generation(semaphore.m_pGenerations[dwSlot]);
        std::uint32_t dwGeneration = (generation.load() + 1) & kGenerationMask;
        if (dwGeneration == 0)
            dwGeneration = 1;
        generation.store(dwGeneration);
        semaphore.m_dwSlot = dwSlot;
        semaphore.m_dwToken = dwGeneration << kSlotBits | dwSlot;
        return true;
    }
    return false;
}

long Futex(std::uint32_t* pWord, int nOperation, std::uint32_t dwValue, const timespec* pTimeout)
{
    return syscall(SYS_futex, pWord, nOperation, dwValue, pTimeout, nullptr, 0);
}

// Whether the handle that the token names has gone: its process ended (the slot's byte is
// unlocked) or the slot has had another owner since (its generation moved on).
bool IsHolderGone(HBoardSemaphore hSemaphore, std::uint32_t dwToken)
{
    if (dwToken == hSemaphore->m_dwToken)
        return false; // another thread of ours holds it through this very handle
    std::uint32_t dwSlot = dwToken & ((1u << kSlotBits) - 1);
    if (dwSlot >= kSlots)
        return true; // no handle ever writes such a token
    std::uint32_t dwGeneration =
        std::atomic_ref<std::uint32_t>(hSemaphore->m_pGenerations[dwSlot]).load();
    if (dwGeneration != dwToken >> kSlotBits)
        return true;
    return !posix::HasOtherByteHolder(hSemaphore->m_fd, kSlotLockBase + dwSlot);
}

unsigned OtherCpus()
{
    static const unsigned nCpus = std::thread::hardware_concurrency();
    return nCpus > 1 ? nCpus - 1 : 0;
}

// This process's threads waiting for the semaphore right now, spinning or asleep.
std::atomic<unsigned> g_nWaiters{0};

void CpuRelax()
{
#if defined(__i386__) || defined(__x86_64__)
    __builtin_ia32_pause();
#endif
}

// Spins briefly for a holder that is about to finish; true when the semaphore was taken. We
// cannot see from here whether the holder's thread is on a CPU; what stands in for it: spin
// only while this process's waiters, the spinner among them, fit on the CPUs the holder leaves
// free, and only while the same holder keeps it, for about the length of one exchange. With
// more exchangers than CPUs a spinner would take the CPU that a holder or a woken waiter
// needs, so then every waiter sleeps. A holder that was preempted costs one short spin. The
// waiters of other processes are not counted: a count in the shared file would be left wrong
// by a waiter killed while it waits.
bool SpinForRelease(HBoardSemaphore hSemaphore, unsigned nWaiters)
{
    if (nWaiters > OtherCpus())
        return false;
    std::atomic_ref<std::uint32_t> word = Word(hSemaphore);
    std::uint32_t dwHolder = word.load(std::memory_order_relaxed) & ~kWaitersBit;
    for (int nRound = 0; nRound < kSpinRounds; ++nRound)
    {
        std::uint32_t dwWord = word.load(std::memory_order_relaxed);
        if (dwWord == 0)
        {
            if (word.compare_exchange_strong(dwWord, hSemaphore->m_dwToken,
                                             std::memory_order_acquire))
                return true;
        }
        else if ((dwWord & ~kWaitersBit) != dwHolder)
            return false; // another waiter got it: it will take a while
        else
            CpuRelax();
    }
    return false;
}

bool WaitContended(HBoardSemaphore hSemaphore)
{
    if (SpinForRelease(hSemaphore, g_nWaiters.load(std::memory_order_relaxed)))
        return true;
    std::atomic_ref<std::uint32_t> word = Word(hSemaphore);
    // Taken from here on with the waiters bit set: others may sleep, and its release wakes one.
    std::uint32_t dwMine = hSemaphore->m_dwToken | kWaitersBit;
    const timespec checkAfter = {0, kLivenessCheckMs * 1000000L};
    for (;;)
    {
        std::uint32_t dwWord = word.load(std::memory_order_relaxed);
        if (dwWord == 0)
        {
            if (word.compare_exchange_weak(dwWord, dwMine, std::memory_order_acquire))
                return true;
            continue;
        }
        if ((dwWord & kWaitersBit) == 0)
        {
            if (!word.compare_exchange_weak(dwWord, dwWord | kWaitersBit,
                                            std::memory_order_relaxed))
                continue;
            dwWord |= kWaitersBit;
        }
        if (Futex(hSemaphore->m_pWord, FUTEX_WAIT, dwWord, &checkAfter) == 0 || errno != ETIMEDOUT)
            continue; // woken, the word changed meanwhile, or a signal: look again
        if (IsHolderGone(hSemaphore, dwWord & ~kWaitersBit) &&
            word.compare_exchange_strong(dwWord, dwMine, std::memory_order_acquire))
            return true; // taken over from a holder that died holding it
    }
}

} // namespace

HBoardSemaphore CreateBoardSemaphore(const char* pszName)
{
    int fd = OpenSemaphoreFile(pszName);
    if (fd < 0)
        return nullptr;
    SBoardSemaphore* pSemaphore = new (std::nothrow) SBoardSemaphore;
    void* pMap = mmap(nullptr, kFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pSemaphore == nullptr || pMap == MAP_FAILED)
    {
        if (pMap != MAP_FAILED)
            munmap(pMap, kFileSize);
        delete pSemaphore;
        close(fd);
        return nullptr;
    }
    pSemaphore->m_fd = fd;
    pSemaphore->m_pMap = pMap;
    pSemaphore->m_pWord = reinterpret_cast<std::uint32_t*>(static_cast<char*>(pMap) + kWordOffset);
    pSemaphore->m_pGenerations =
        reinterpret_cast<std::uint32_t*>(static_cast<char*>(pMap) + kGenerationsOffset);
    if (!ClaimSlot(*pSemaphore))
    {
        CloseBoardSemaphore(pSemaphore);
        return nullptr;
    }
    return pSemaphore;
}

bool WaitBoardSemaphore(HBoardSemaphore hSemaphore)
{
    if (hSemaphore == nullptr)
        return false;
    std::uint32_t dwFree = 0;
    if (Word(hSemaphore)
            .compare_exchange_strong(dwFree, hSemaphore->m_dwToken, std::memory_order_acquire))
        return true;
    g_nWaiters.fetch_add(1, std::memory_order_relaxed);
    bool bTaken = WaitContended(hSemaphore);
    g_nWaiters.fetch_sub(1, std::memory_order_relaxed);
    return bTaken;
}

bool ReleaseBoardSemaphore(HBoardSemaphore hSemaphore)
{
    if (hSemaphore == nullptr || hSemaphore->m_dwToken == 0)
        return false;
    std::atomic_ref<std::uint32_t> word = Word(hSemaphore);
    std::uint32_t dwWord = word.load(std::memory_order_relaxed);
    do
    {
        // Held by another handle, or by nobody: a Win32 semaphore refuses to pass its maximum.
        if ((dwWord & ~kWaitersBit) != hSemaphore->m_dwToken)
            return false;
    } while (!word.compare_exchange_weak(dwWord, 0, std::memory_order_release,
                                         std::memory_order_relaxed));
    if (dwWord & kWaitersBit)
        Futex(hSemaphore->m_pWord, FUTEX_WAKE, 1, nullptr);
    return true;
}

void CloseBoardSemaphore(HBoardSemaphore hSemaphore)
{
    if (hSemaphore == nullptr)
        return;
    // A handle closed while it holds the semaphore gives it back, as a holder's death would.
    ReleaseBoardSemaphore(hSemaphore);
    munmap(hSemaphore->m_pMap, kFileSize);
    close(hSemaphore->m_fd); // ends the claim on the slot
    delete hSemaphore;
}

} // namespace platform
