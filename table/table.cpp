#include "table.h"

#include <algorithm>

#include <sys/mman.h>
#include <sys/random.h>

#include "frequencytable.h"
#include "io/hugepages.h"

namespace {

// Aligned to a huge page so that the kernel can back the table's index, its
// first 8 MB, with four of them: committing it then takes four page faults
// instead of some 2000 (about 7 ms less system time per run, measured). The
// rest, mostly the order of the slots, fills a slot at a time and stays in
// small pages: a huge page there would commit 2 MB that a vocabulary of some
// thousand words never touches. A small input uses no huge pages at all.
alignas(hugepage) constinit FrequencyTable<maxwords> table;

// The order of the slots, 1.6 MB in small pages, is written a slot after
// another as the table fills: on a vocabulary that fills it, some 390 page
// faults in the counting thread. For a large input the slots are committed
// a stretch at a time, ahead of the adds, which costs a fraction of that and
// little more memory than the slots filled.
constexpr std::int32_t slotsahead = 16384;
constinit std::int32_t slotscommitted = maxwords;

void commitslots(std::uint32_t adds)
{
    const std::int32_t need = std::min(table.slotsfilled() + static_cast<std::int32_t>(adds), maxwords);
    if (need <= slotscommitted)
        return;
    const std::int32_t upto = std::min(need + slotsahead, maxwords);
    commitpages(table.slotmemory(slotscommitted), static_cast<std::size_t>(upto - slotscommitted) * sizeof(std::uint32_t));
    slotscommitted = upto;
}

} // namespace

void preparetable(bool large)
{
    if (large)
        madvise(&table, sizeof table / hugepage * hugepage, MADV_HUGEPAGE);
    table.reset();
    slotscommitted = large ? 0 : maxwords;
    // Any key gives the same results; a fresh one each run keeps the bucket
    // layout unpredictable. Without randomness the fixed default serves.
    std::uint64_t key = 0;
    if (getrandom(&key, sizeof key, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof key))
        table.setkey(key);
}

std::uint32_t addwords(const std::uint32_t* hashes, std::uint32_t n, std::uint16_t* created)
{
    commitslots(n);
    return table.add(hashes, n, created);
}

void expectword(std::uint32_t h)
{
    table.prefetch(h);
}

std::uint32_t findword(std::uint32_t h)
{
    return table.find(h);
}

bool mayhavejoinedlate(std::uint32_t h)
{
    return table.mayhavejoinedlate(h);
}

void dropword(std::uint32_t h)
{
    table.drop(h);
}

std::int32_t wordsatleast(std::uint32_t m)
{
    return table.atleast(m);
}

std::int32_t tablesize()
{
    return table.size();
}
