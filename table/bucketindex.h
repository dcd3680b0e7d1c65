// The index behind frequencytable.h: each hash with its count, in buckets
// found by linear probing from a bucket the hash picks, in storage reserved
// once. It holds at most `Capacity` entries in at least twice as many
// buckets, and starts with a few of them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>

template <std::int32_t Capacity, typename Count>
class BucketIndex {
public:
    // Buckets follow the word hashes through a multiplier drawn from `key`,
    // so that nobody who writes the input can choose words that pile up in
    // one bucket. Only an empty table may be given a key.
    void setkey(std::uint64_t newkey) { key = newkey; }

    // Starts loading the bucket of `h` into the cache, ahead of its add or find.
    void prefetch(std::uint32_t h) const { __builtin_prefetch(&buckets[bucketof(h)], 1); }

protected:
    struct Bucket {
        std::uint32_t hash;
        Count count; // 0 marks an empty bucket
    };

    // At least twice as many buckets as entries keeps probe runs short even
    // when the table is full.
    static constexpr int bucketbits = [] {
        int bits = 1;
        while ((std::int64_t{1} << bits) < std::int64_t{2} * Capacity)
            ++bits;
        return bits;
    }();
    // A run starts with the first few buckets alone, so that a small input
    // writes to only a few pages: each page first written costs a page
    // fault, some 20 microseconds where this was measured. Once half of them
    // are in use, the index spreads over all buckets, which have room for
    // every entry the table can hold.
    static constexpr int firstbits = bucketbits > 9 ? bucketbits - 8 : 1;

    std::uint32_t livemask() const { return grown ? (1u << bucketbits) - 1 : (1u << firstbits) - 1; }

    // The lookups take the number of buckets as a constant, so that the word
    // loop pays one well-predicted branch for the choice, not a variable
    // shift and mask at every probe.
    template <int Bits>
    std::uint32_t bucketof(std::uint32_t h) const
    {
        // Multiply-shift: the top bits of the product depend on every bit of h.
        const std::uint64_t multiplier = (0x9E3779B97F4A7C15u ^ key) | 1u;
        return static_cast<std::uint32_t>((h * multiplier) >> (64 - Bits));
    }

    std::uint32_t bucketof(std::uint32_t h) const
    {
        return grown ? bucketof<bucketbits>(h) : bucketof<firstbits>(h);
    }

    // The bucket that holds `h`, or the empty bucket where it would go.
    template <int Bits>
    std::uint32_t locate(std::uint32_t h) const
    {
        std::uint32_t b = bucketof<Bits>(h);
        while (buckets[b].count != 0 && buckets[b].hash != h)
            b = (b + 1) & ((1u << Bits) - 1);
        return b;
    }

    std::uint32_t locate(std::uint32_t h) const { return grown ? locate<bucketbits>(h) : locate<firstbits>(h); }

    void grow()
    {
        Bucket first[std::size_t{1} << firstbits];
        std::copy(buckets, buckets + std::size(first), first);
        std::fill(buckets, buckets + std::size(first), Bucket{});
        grown = true;
        for (const Bucket& entry : first)
            if (entry.count != 0)
                buckets[locate(entry.hash)] = entry;
    }

    // Empties bucket `b`, then shifts back every later entry of its probe run
    // that may move into the hole, so that no tombstones are left behind.
    void unindex(std::uint32_t b) { grown ? unindex<bucketbits>(b) : unindex<firstbits>(b); }

    template <int Bits>
    void unindex(std::uint32_t b)
    {
        constexpr std::uint32_t mask = (1u << Bits) - 1;
        std::uint32_t hole = b;
        for (std::uint32_t j = (b + 1) & mask; buckets[j].count != 0; j = (j + 1) & mask) {
            const std::uint32_t home = bucketof<Bits>(buckets[j].hash);
            if (((j - home) & mask) >= ((j - hole) & mask)) {
                buckets[hole] = buckets[j];
                hole = j;
            }
        }
        buckets[hole] = {0, 0};
    }

    // All zero at start, so that a static table costs nothing in the binary.
    Bucket buckets[std::size_t{1} << bucketbits]{};
    bool grown = false; // whether the index spreads over all buckets
    std::uint64_t key = 0;
};
