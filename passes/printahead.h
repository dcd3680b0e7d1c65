// Pass two on a second core: while the calling thread prints the words of
// the records before a place, another prints those of the records from
// there on into a buffer of its own, to be printed after them.
//
// The lookups of a table that fills miss the cache at almost every record,
// and a core has only so many misses in flight: two cores look up twice as
// many. While both run, the table is only read, so neither may drop a word:
// the words printed that would have to be dropped are noted, and dropped
// once the helper is done. That changes nothing, since the words of the
// first `maxwords` records are all distinct, and only records after those
// can find a word again.
//
// The calling thread waits for no more than the chunk of records the helper
// is on: when it gets to the helper's first record, it stops the helper,
// takes what it has finished and does the rest itself. A helper that runs
// late (held up by a page fault, say) costs about the time it took from the
// other, not more. Only then may the calling thread read on past what the
// helper reads, since reading on may refill the records' store.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <pthread.h>

#include "io/hugepages.h"
#include "io/output.h"
#include "passes/records.h"

class PrintAhead {
public:
    // What the helper has finished: the records from the first it prints up
    // to `after`, whose lines are the first `used` bytes of lines(), print
    // `words` words, and note the first `dropped` of drops().
    struct Done {
        Records::Place after;
        std::size_t used = 0;
        std::int32_t words = 0;
        std::size_t dropped = 0;
    };

    // Words the helper may note to drop.
    static constexpr std::size_t maxdrops = 16384;

    // Starts a thread that prints the words counted at least `mincount`
    // times of the records from number `from` on, below `until`, as far as
    // peek() reads them from `first`, a place at or before record `from`.
    // Returns false if no thread could start.
    bool start(const Records& records, Records::Place first, std::uint64_t from, std::uint64_t until,
               std::uint32_t mincount);

    // Stops the helper once it is done with the chunk of records it is on,
    // waits for it, and returns what it finished.
    Done stop();

    const unsigned char* lines() const { return text; }
    const std::uint32_t* drops() const { return dropped; }

private:
    static void* run(void* self);
    void print();

    static constexpr std::size_t chunk = 64; // records looked up together
    static constexpr auto longestline = static_cast<std::size_t>(longestcount + 2 + maxwordlen);

    pthread_t thread{};
    std::atomic<bool> stopping{};
    Done done; // written after each chunk
    const Records* records = nullptr;
    Records::Place first;
    std::uint64_t from = 0, until = 0;
    std::uint32_t mincount = 0;
    std::uint32_t dropped[maxdrops]{};
    // A huge page: about half the lines of a table that fills, within what a
    // second thread may take, and committed in one page fault rather than
    // 512, which took more time than the thread saved.
    alignas(hugepage) unsigned char text[hugepage]{};
};
