// The table behind table.h, with its capacity as a parameter so that tests
// can fill small ones.
//
// Entries sit in slots numbered in the order they were first filled, and a
// linear-probing index maps a hash to its slot, so every operation costs O(1).
//
// The results are those of the classic design, a linear list that moves an
// entry forward past smaller counts at every eighth increment and, when full,
// replaces the entry seen once under a cursor that only moves forward.
// Moving entries forward only shortened its searches; it never changed a
// result, because:
//  - until the table is full, results depend only on which hashes it holds
//    and their counts, never on their order;
//  - an entry moves only at a count of 8 or more and only past smaller
//    counts, so the entries seen once always stay in the order their slots
//    were first filled, and a replacement takes over the slot, and so the
//    place, of the entry it replaces;
//  - the cursor stops only at an entry seen once, everything it passed was
//    seen more than once, and counts never fall while words are added.
// So on a full table the rule is: replace the first slot, in fill order,
// whose entry was seen once, and keep the cursor there; with no such slot
// left the word is lost, as is every new word after it.
#pragma once

#include <cstdint>
#include <cstring>
#include <limits>

// Counts stop at the largest value of `Count` rather than wrap to zero.
template <std::int32_t Capacity, typename Count = std::uint32_t>
class FrequencyTable {
public:
    void reserve()
    {
        std::memset(entries, 0, sizeof entries);
        std::memset(index, 0, sizeof index);
    }

    // Buckets follow the word hashes through a multiplier drawn from `key`,
    // so that nobody who writes the input can choose words that pile up in
    // one bucket. Only an empty table may be given a key.
    void setkey(std::uint64_t newkey) { key = newkey; }

    void add(std::uint32_t h)
    {
        const std::uint32_t b = locate(h);
        if (const std::uint32_t s = index[b]) {
            Count& count = entries[s - 1].count;
            count += count != std::numeric_limits<Count>::max();
        } else if (used < Capacity) {
            entries[used] = {h, 1};
            index[b] = static_cast<std::uint32_t>(++used);
        } else {
            replaceseenonce(h);
        }
    }

    Count find(std::uint32_t h)
    {
        lastfound = locate(h);
        const std::uint32_t s = index[lastfound];
        return s != 0 ? entries[s - 1].count : 0;
    }

    void drop(std::uint32_t h)
    {
        const std::uint32_t hint = index[lastfound];
        const std::uint32_t b = hint != 0 && entries[hint - 1].hash == h ? lastfound : locate(h);
        const std::uint32_t s = index[b];
        if (s == 0)
            return;
        unindex(b);
        // The last entry fills the hole, keeping the slots contiguous.
        const std::int32_t last = --used;
        if (static_cast<std::int32_t>(s - 1) != last) {
            entries[s - 1] = entries[last];
            index[locate(entries[s - 1].hash)] = s;
        }
    }

    void prune(Count m)
    {
        bool removed = false;
        for (std::int32_t k = used - 1; k >= 0; --k) {
            if (entries[k].count < m) {
                entries[k] = entries[--used];
                removed = true;
            }
        }
        if (removed)
            reindex();
    }

    std::int32_t size() const { return used; }

private:
    struct Entry {
        std::uint32_t hash;
        Count count;
    };

    // At least twice as many buckets as entries keeps probe runs short even
    // when the table is full.
    static constexpr int bucketbits = [] {
        int bits = 1;
        while ((std::int64_t{1} << bits) < std::int64_t{2} * Capacity)
            ++bits;
        return bits;
    }();
    static constexpr std::uint32_t mask = (std::uint32_t{1} << bucketbits) - 1;

    std::uint32_t bucketof(std::uint32_t h) const
    {
        // Multiply-shift: the top bits of the product depend on every bit of h.
        const std::uint64_t multiplier = (0x9E3779B97F4A7C15u ^ key) | 1u;
        return static_cast<std::uint32_t>((h * multiplier) >> (64 - bucketbits));
    }

    // The bucket that holds `h`, or the empty bucket where it would go.
    std::uint32_t locate(std::uint32_t h) const
    {
        std::uint32_t b = bucketof(h);
        for (;;) {
            const std::uint32_t s = index[b];
            if (s == 0 || entries[s - 1].hash == h)
                return b;
            b = (b + 1) & mask;
        }
    }

    void replaceseenonce(std::uint32_t h)
    {
        while (cursor < used && entries[cursor].count > 1)
            ++cursor;
        if (cursor == used)
            return;
        unindex(locate(entries[cursor].hash));
        entries[cursor] = {h, 1};
        index[locate(h)] = static_cast<std::uint32_t>(cursor + 1);
    }

    // Empties bucket `b`, then shifts back every later entry of its probe run
    // that may move into the hole, so that no tombstones are left behind.
    void unindex(std::uint32_t b)
    {
        std::uint32_t hole = b;
        for (std::uint32_t j = (b + 1) & mask; index[j] != 0; j = (j + 1) & mask) {
            const std::uint32_t home = bucketof(entries[index[j] - 1].hash);
            if (((j - home) & mask) >= ((j - hole) & mask)) {
                index[hole] = index[j];
                hole = j;
            }
        }
        index[hole] = 0;
    }

    void reindex()
    {
        std::memset(index, 0, sizeof index);
        for (std::int32_t s = 0; s < used; ++s)
            index[locate(entries[s].hash)] = static_cast<std::uint32_t>(s + 1);
    }

    // All zero at start, so that a static table costs nothing in the binary.
    Entry entries[Capacity]{};
    std::uint32_t index[mask + 1]{}; // slot + 1 of an entry, 0 for an empty bucket
    std::int32_t used = 0;
    std::int32_t cursor = 0;         // never moves back
    std::uint32_t lastfound = 0;     // the bucket of the last find
    std::uint64_t key = 0;
};
