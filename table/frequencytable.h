// The table behind table.h, with its capacity as a parameter so that tests
// can fill small ones.
//
// A linear-probing hash index holds each hash with its count, so that counting
// a word touches one cache line, and every operation costs O(1) on average. A
// second array remembers the hashes in the order their slots were first
// filled, for the one rule that needs an order: replacement in a full table.
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
//
// On a full table most new words replace the one before them: the cursor
// rests on the newest entry for as long as it stays seen once. So the entry
// under the cursor, while seen once, is held beside the index rather than in
// it, and such a replacement is two stores, where taking an entry out of the
// index and putting one in cost some 25 ns. A hash that the index lacks is
// checked against it before it counts as new; at a second sighting it joins
// the index, and the next replacement walks the cursor on from there.
//
// So once the table is full, an entry joins the index only from beside it,
// at a second sighting or when it is settled for good, and a map of bits
// remembers roughly which hashes did. A hash that got a new entry after the
// table filled, and that the map has never seen, is surely not in the table:
// pass two need not look up the words a full table only passed through,
// mostly one after another beside the index.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>

#include "bucketindex.h"

// Counts stop at the largest value of `Count` rather than wrap to zero.
// Words are added only before the first atleast(); after it the table is
// only read and emptied, as a run does.
template <std::int32_t Capacity, typename Count = std::uint32_t>
class FrequencyTable : public BucketIndex<Capacity, Count> {
    using Index = BucketIndex<Capacity, Count>;
    using Index::bucketbits, Index::firstbits, Index::buckets, Index::grown;
    using Index::bucketof, Index::locate, Index::livemask, Index::grow, Index::unindex;
    using typename Index::Bucket;

public:
    // Starts a run. A table that was never used is all zero, as static
    // storage is, and its memory is committed only as words arrive; one
    // that a run left entries in has them taken out one by one.
    void reset()
    {
        settle();
        for (std::int32_t k = 0; used > 0 && k < filled; ++k)
            dropbucket(locate(order[k]));
        // Only a full table notes late joins.
        if (filled == Capacity)
            std::fill(std::begin(joinedlate), std::end(joinedlate), 0);
        filled = cursor = 0;
        adds = 0;
        grown = false;
    }

    // Counts hashes[0] to hashes[n - 1] in turn, n at most 65536, and notes,
    // in order, the place in `hashes` of each that got a new entry, in a free
    // slot or in place of an entry seen once. Returns how many did.
    //
    // A large vocabulary spreads over megabytes of index, and most adds would
    // wait for memory. So each hash's place is prefetched `hashesahead` hashes
    // before it is counted, by which time its cache line has arrived. The
    // input streaming through the cache pushes index lines out to memory,
    // and sixteen hashes ahead was not enough to cover that. Sixty-four took
    // a few percent off every corpus on an AMD EPYC; on an Intel Xeon,
    // forty-eight took 2% more off the table-filling one, and thirty-two
    // made the growing one slower.
    //
    // Whether an add makes an entry is as hard to predict as whether the word
    // is new, so the place is noted without a branch: one mispredicted
    // branch less for each new word.
    std::uint32_t add(const std::uint32_t* hashes, std::uint32_t n, std::uint16_t* created)
    {
        // No count can pass the number of adds so far: until that reaches
        // the largest count, no add needs to check for it. That check was 3
        // to 10% of the adds, more the fewer of them miss the cache.
        const bool saturating = adds + n > std::numeric_limits<Count>::max();
        adds += n;
        return saturating ? add<true>(hashes, n, created) : add<false>(hashes, n, created);
    }

    // Whether `h` may have joined the index after the table filled up, or
    // is held beside it. If not, a hash that got a new entry after the table
    // filled is no longer in the table.
    bool mayhavejoinedlate(std::uint32_t h) const
    {
        const std::uint32_t bit = lateslot(h);
        return ((joinedlate[bit / 64] >> (bit % 64)) & 1) || (aside && h == asidehash);
    }

    // Only reads, so that several threads may find at once.
    Count find(std::uint32_t h) const
    {
        const std::uint32_t b = locate(h);
        if (buckets[b].count == 0 && aside && h == asidehash)
            return 1;
        return buckets[b].count;
    }

    void drop(std::uint32_t h)
    {
        settle();
        dropbucket(locate(h));
    }

    // The number of entries counted at least `m` times.
    std::int32_t atleast(Count m)
    {
        settle();
        const Count least = std::max<Count>(m, 1);
        std::int32_t n = 0;
        // A table with few entries has them looked up in fill order, rather
        // than every bucket read, so that a small input costs little.
        if (std::int64_t{filled} * 16 < std::int64_t{livemask()} + 1) {
            for (std::int32_t k = 0; k < filled; ++k)
                n += buckets[locate(order[k])].count >= least;
            return n;
        }
        for (std::uint32_t b = 0; b <= livemask(); ++b)
            n += buckets[b].count >= least;
        return n;
    }

    std::int32_t size() const { return used; }

    // The slots are filled one after another: a caller may commit the memory
    // of the next ones before the adds write to it.
    std::int32_t slotsfilled() const { return filled; }
    void* slotmemory(std::int32_t slot) { return order + slot; }

private:
    // The index grows once, early in a run, and never shrinks back, so the
    // adds before and after that each have a loop of their own, in which the
    // number of buckets is a constant rather than a flag read and tested
    // twice for each add.
    template <bool Saturating>
    std::uint32_t add(const std::uint32_t* hashes, std::uint32_t n, std::uint16_t* created)
    {
        for (std::uint32_t i = 0; i < hashesahead && i < n; ++i)
            this->prefetch(hashes[i]);
        std::uint32_t i = 0, made = 0;
        for (; i < n && !grown; ++i)
            made += add<Saturating, false>(hashes, n, i, created + made);
        for (; i < n; ++i)
            made += add<Saturating, true>(hashes, n, i, created + made);
        return made;
    }

    static constexpr std::uint32_t hashesahead = 48;

    // Counts hashes[i], first noting `i` in `created`; returns whether it got
    // a new entry. Unless `Saturating`, no count may be at its largest.
    template <bool Saturating, bool Grown>
    bool add(const std::uint32_t* hashes, std::uint32_t n, std::uint32_t i, std::uint16_t* created)
    {
        constexpr int bits = Grown ? bucketbits : firstbits;
        if (i + hashesahead < n)
            __builtin_prefetch(&buckets[this->template bucketof<bits>(hashes[i + hashesahead])], 1);
        *created = static_cast<std::uint16_t>(i);
        const std::uint32_t h = hashes[i];
        std::uint32_t b = this->template locate<bits>(h);
        if (buckets[b].count != 0) {
            if constexpr (Saturating)
                buckets[b].count += buckets[b].count != std::numeric_limits<Count>::max();
            else
                ++buckets[b].count;
            return false;
        }
        if (filled < Capacity) {
            if (!Grown && 2 * used >= std::int32_t{1} << firstbits) {
                grow();
                b = locate(h);
            }
            buckets[b] = {h, 1};
            order[filled++] = h;
            ++used;
            return true;
        }
        if (aside && h == asidehash) {
            buckets[b] = {h, 2};
            aside = false;
            notelate(h);
            return false;
        }
        return replaceseenonce(h);
    }

    // The cursor walks the slots in the order they were first filled and
    // never moves back, so all its lookups together cost O(Capacity).
    bool replaceseenonce(std::uint32_t h)
    {
        if (!aside) {
            while (cursor < filled && buckets[locate(order[cursor])].count > 1)
                ++cursor;
            if (cursor == filled)
                return false;
            unindex(locate(order[cursor]));
            aside = true;
        }
        order[cursor] = h;
        asidehash = h;
        return true;
    }

    // Puts the entry held beside the index back into it.
    void settle()
    {
        if (aside) {
            buckets[locate(asidehash)] = {asidehash, 1};
            notelate(asidehash);
        }
        aside = false;
    }

    // The top bits of the product depend on every bit of h.
    static std::uint32_t lateslot(std::uint32_t h) { return (h * 0x9E3779B1u) >> (32 - latebits); }

    void notelate(std::uint32_t h)
    {
        const std::uint32_t bit = lateslot(h);
        joinedlate[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }

    // Deletes the entry in bucket `b`, if there is one.
    void dropbucket(std::uint32_t b)
    {
        if (buckets[b].count != 0) {
            unindex(b);
            --used;
        }
    }

    std::uint32_t order[Capacity]{}; // hashes in the order their slots were first filled
    std::int32_t filled = 0;         // slots of `order` in use
    std::int32_t used = 0;           // entries in the table
    std::int32_t cursor = 0;         // never moves back
    bool aside = false;              // whether order[cursor] is held beside the index,
    std::uint32_t asidehash = 0;     // seen once, with this hash
    std::uint64_t adds = 0;          // since the table was last reset
    // 4 KB, in the cache as pass two walks the records; full of ones only
    // after thousands of late joins.
    static constexpr int latebits = 15;
    std::uint64_t joinedlate[(std::size_t{1} << latebits) / 64]{};
};
