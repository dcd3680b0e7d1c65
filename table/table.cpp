#include "table.h"

#include <sys/random.h>

#include "frequencytable.h"

namespace {

FrequencyTable<maxwords> table;

} // namespace

void preparetable()
{
    table.reserve();
    // Any key gives the same results; a fresh one each run keeps the bucket
    // layout unpredictable. Without randomness the fixed default serves.
    std::uint64_t key = 0;
    if (getrandom(&key, sizeof key, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof key))
        table.setkey(key);
}

void addword(std::uint32_t h)
{
    table.add(h);
}

std::uint32_t findword(std::uint32_t h)
{
    return table.find(h);
}

void dropword(std::uint32_t h)
{
    table.drop(h);
}

void prunewords(std::uint32_t m)
{
    table.prune(m);
}

std::int32_t tablesize()
{
    return table.size();
}
