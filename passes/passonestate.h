// What pass one's threads share, handed to each, and the steps its ways of
// counting are made of. Private to pass one: passone.cpp counts in one
// thread or behind several readers, turns.cpp behind one reader.
#pragma once

#include <atomic>
#include <cstdint>
#include <pthread.h>

#include "kernels/kernels.h"
#include "passes/cores.h"
#include "passes/handoff.h"
#include "passes/ranges.h"
#include "passes/records.h"
#include "passes/scanner.h"

inline constexpr int maxthreads = 4;
inline constexpr int maxreaders = maxthreads - 1;

// Batches on their way to the counter. Batch k goes to batches[k %
// ringsize]; the counter empties them in order, and each side counts the
// batches it is done with; a thread with nothing to do waits on the other's
// count. Four blocks are enough that neither side often waits, and few
// enough to stay in the cache.
inline constexpr std::uint32_t ringsize = 4;
struct Ring {
    Batch batches[ringsize];
    Count filled, emptied;
    std::atomic<std::uint32_t> claimed; // batches whose scan has begun
};

static_assert(Batch::capacity <= 65536, "a word's place in a batch must fit 16 bits");

// What pass one keeps while it runs.
struct PassOne {
    Ring rings[maxreaders];
    Scanner scanners[maxreaders];
    Ranges ranges{};
    const char* inputname = nullptr;
    const Kernels* kernels = nullptr;
    Records* records = nullptr;
    std::uint64_t counted = 0;
    bool showing = false;  // progress
    int recordfailure = 0; // errno of the first record that failed

    // With one reader, on lines of their own, since the reader writes them
    // while the counter writes the counts above.
    alignas(64) std::atomic<bool> scannedall{}; // no batch is left to scan
    Count invitations{};                        // odd while the reader helps
    std::uint32_t recorded = 0;                 // batches, taken in turns
    std::atomic<std::int64_t> readerspun{};     // its nanoseconds spinning
};

// A reading thread's part.
struct Reader {
    PassOne* pass;
    int index; // of its ring and scanner
};

// Hashes (if no reader has) and counts the words of a batch, and shows the
// progress; fails the run if the batch ends in a read that failed.
void countbatch(PassOne& p, Batch& b);

// countbatch for a batch that another thread may have scanned.
void counthandedon(PassOne& p, Batch& b);

// Records the words of `b` that created an entry, once, unless a record has
// already failed; the first failure's errno is kept in p.recordfailure.
void recordbehind(PassOne& p, Batch& b);

// Whether more than half the ring waits for the counter with batch k filled:
// then the reader hashes k itself. Text of common words keeps the reader
// busy, a large vocabulary or a full table the counter. (With a lower
// threshold the reader hashed in bursts while the counter spun, a tenth of
// its time.)
bool counterbehind(const Ring& r, std::uint32_t k);

// Counts the batches of the input from scanners[0], which the calling
// thread and `reader`, running readinturns, take turns to scan; with the
// reader's help from the start if a core was `spare` before it started.
// Returns the number of batches.
std::uint32_t countturns(PassOne& p, pthread_t reader, bool spare);

// The reader's side of countturns.
void* readinturns(void* reader);
