#include "passone.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <linux/futex.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "output.h"
#include "progress.h"
#include "records.h"
#include "scanner.h"
#include "table/table.h"

namespace {

constexpr int maxthreads = 4;

// Enough blocks that the reader rarely waits for the counter or the other
// way round, few enough to stay in the cache.
constexpr std::uint32_t ringsize = 4;
Batch ring[ringsize];

const char* inputname;
std::uint64_t counted;

// A large vocabulary spreads over megabytes of table, and most adds would
// wait for memory. So each word's place is prefetched `lookahead` words
// before it is counted, by which time its cache line has arrived.
void countbatch(Batch& b)
{
    hashbatch(b);
    constexpr std::uint32_t lookahead = 16;
    for (std::uint32_t i = 0; i < lookahead && i < b.words; ++i)
        expectword(b.hashes[i]);
    for (std::uint32_t i = 0; i < b.words; ++i) {
        if (i + lookahead < b.words)
            expectword(b.hashes[i + lookahead]);
        if (addword(b.hashes[i]) && !record(Word{b.hashes[i], b.lengths[i], b.start(i)}, b.bytes(i)))
            fail("cannot write a temporary file for", inputname, errno);
    }
    counted += b.words;
}

// One thread: each block's words are counted before the next block is read
// into the same batch.
Batch* countnow(Batch* full)
{
    countbatch(*full);
    return full;
}

// Two threads: the reader fills ring[k % ringsize] with the k-th block, the
// counter empties them in the same order. Each counts the batches it is done
// with, modulo 2^32; a batch changes hands with these counts (release, then
// acquire), and a thread with nothing to do sleeps on the other's count.
// Futexes rather than the library's waits keep the C++ runtime library, and
// the megabyte and more it maps, out of the process.
std::atomic<std::uint32_t> filled, emptied;
static_assert(sizeof filled == sizeof(std::uint32_t) && std::atomic<std::uint32_t>::is_always_lock_free);

// The other thread is usually a few microseconds from done, less than going
// to sleep and being woken costs: so spin a while first.
void sleepwhile(std::atomic<std::uint32_t>& count, std::uint32_t seen)
{
    for (int spin = 0; spin < 4096; ++spin) {
        if (count.load(std::memory_order_acquire) != seen)
            return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    syscall(SYS_futex, &count, FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
}

void wake(std::atomic<std::uint32_t>& count)
{
    syscall(SYS_futex, &count, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

// Hashing goes to whichever thread has time: the reader hashes a batch
// itself when more than half the ring waits for the counter, and leaves it
// to the counter otherwise. Text of common words keeps the reader busy, a
// large vocabulary or a full table the counter. (With a lower threshold the
// reader hashed in bursts while the counter spun, a tenth of its time.)
Batch* passon(Batch* full)
{
    const std::uint32_t k = filled.load(std::memory_order_relaxed) + 1;
    if (k - emptied.load(std::memory_order_relaxed) > ringsize / 2)
        hashbatch(*full);
    filled.store(k, std::memory_order_release);
    wake(filled);
    // Batch k may be filled once batch k - ringsize has been emptied.
    for (std::uint32_t e; k + 1 - (e = emptied.load(std::memory_order_acquire)) > ringsize;)
        sleepwhile(emptied, e);
    return &ring[k % ringsize];
}

void* readall(void* in)
{
    scaninput(*static_cast<Input*>(in), &ring[0], passon);
    return nullptr;
}

void countbehindreader(Input& in)
{
    filled = 0;
    emptied = 0;
    pthread_t reader;
    if (pthread_create(&reader, nullptr, readall, &in) != 0) {
        scaninput(in, &ring[0], countnow);
        return;
    }
    for (std::uint32_t k = 0;; ++k) {
        while (filled.load(std::memory_order_acquire) == k)
            sleepwhile(filled, k);
        Batch& b = ring[k % ringsize];
        countbatch(b);
        const bool last = b.last;
        emptied.store(k + 1, std::memory_order_release);
        wake(emptied);
        if (last)
            break;
    }
    pthread_join(reader, nullptr);
}

} // namespace

int passonethreads()
{
    if (const char* set = std::getenv("TALLVIK_THREADS"); set != nullptr && std::atoi(set) >= 1)
        return std::min(std::atoi(set), maxthreads);
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) != 0)
        return 1;
    return std::max(1, std::min(CPU_COUNT(&cores), maxthreads));
}

std::uint64_t countwords(Input& in, const char* name, int threads)
{
    inputname = name;
    counted = 0;
    unsigned char* const block = in.block;
    const std::size_t blocksize = in.blocksize;
    in.onblock = startprogress(1, inputsize(in)) ? showprogress : nullptr;
    if (threads > 1)
        countbehindreader(in);
    else
        scaninput(in, &ring[0], countnow);
    endprogress();
    if (in.readerror != 0)
        fail("cannot read", name, in.readerror);
    in.block = block;
    in.blocksize = blocksize;
    in.next = in.end = block;
    return counted;
}
