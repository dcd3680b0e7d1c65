#include "passes/printahead.h"

#include <sys/mman.h>

#include "table/table.h"

bool PrintAhead::start(const Records& r, Records::Place place, std::uint64_t start, std::uint64_t end,
                       std::uint32_t least)
{
    records = &r;
    first = place;
    from = start;
    until = end;
    mincount = least;
    stopping = false;
    done = Done{};
    madvise(text, sizeof text, MADV_HUGEPAGE);
    return pthread_create(&thread, nullptr, run, this) == 0;
}

PrintAhead::Done PrintAhead::stop()
{
    stopping = true;
    pthread_join(thread, nullptr);
    return done;
}

void* PrintAhead::run(void* self)
{
    static_cast<PrintAhead*>(self)->print();
    return nullptr;
}

// A chunk of records is read, and their entries prefetched, before any is
// looked up, so that the misses overlap.
void PrintAhead::print()
{
    Records::Place p = first;
    Record got[chunk];
    while (p.number < from && records->peek(p, from, got[0])) {
        if (p.number % 4096 == 0 && stopping.load(std::memory_order_relaxed))
            return;
    }
    if (p.number < from)
        return;
    Done now{p};
    while (!stopping.load(std::memory_order_relaxed)) {
        if (sizeof text - now.used < chunk * longestline || maxdrops - now.dropped < chunk)
            return;
        std::size_t n = 0;
        for (; n < chunk && records->peek(p, until, got[n]); ++n)
            expectword(got[n].word.hash);
        if (n == 0)
            return;
        for (std::size_t k = 0; k < n; ++k) {
            const std::uint32_t count = findword(got[k].word.hash);
            if (count < mincount)
                continue;
            now.used += formatcount(text + now.used, count, got[k].bytes, got[k].word.length);
            ++now.words;
            if (mayhavejoinedlate(got[k].word.hash))
                dropped[now.dropped++] = got[k].word.hash;
        }
        now.after = p;
        done = now;
    }
}
