// The frequency table as first designed: a list searched from the front,
// frequent entries moved forward at every eighth count, and a cursor that
// replaces entries seen once when the list is full. The tests hold the fast
// table to this one.
#pragma once

#include <cstdint>
#include <utility>

template <std::int32_t Max>
struct LiteralTable {
    std::uint32_t hashes[Max]{};
    std::uint32_t counts[Max]{};
    std::int32_t used = 0;
    std::int32_t cursor = 0;
    std::int32_t lastfound = 0;

    std::int32_t search(std::uint32_t h)
    {
        if (used > Max)
            used = Max;
        std::int32_t k = 0;
        if (used < Max) {
            hashes[used] = h; // the planted key ends the search
            while (hashes[k] != h)
                ++k;
            hashes[used] = 0;
        } else {
            while (k < used && hashes[k] != h)
                ++k;
        }
        return k;
    }

    void addword(std::uint32_t h)
    {
        std::int32_t k = search(h);
        if (k >= Max) {
            if (cursor >= used)
                return;
            while (cursor < used && counts[cursor] > 1)
                ++cursor;
            if (cursor < used) {
                hashes[cursor] = h;
                counts[cursor] = 1;
            }
        } else if (k == used) {
            hashes[used] = h;
            counts[used] = 1;
            ++used;
        } else {
            if (counts[k] != UINT32_MAX)
                ++counts[k];
            if ((counts[k] & 7) == 0) {
                while (k > 0 && counts[k] > counts[k - 1]) {
                    std::swap(hashes[k], hashes[k - 1]);
                    std::swap(counts[k], counts[k - 1]);
                    --k;
                }
            }
        }
    }

    std::uint32_t findword(std::uint32_t h)
    {
        const std::int32_t k = search(h);
        lastfound = k;
        return k < used ? counts[k] : 0;
    }

    void dropword(std::uint32_t h)
    {
        std::int32_t k = lastfound >= 0 && lastfound < used && hashes[lastfound] == h ? lastfound : 0;
        while (k < used && hashes[k] != h)
            ++k;
        if (k == used)
            return;
        hashes[k] = hashes[used - 1];
        counts[k] = counts[used - 1];
        --used;
    }

    void prunewords(std::uint32_t m)
    {
        for (std::int32_t k = used - 1; k >= 0; --k) {
            if (counts[k] < m) {
                hashes[k] = hashes[used - 1];
                counts[k] = counts[used - 1];
                hashes[used - 1] = 0;
                counts[used - 1] = 0;
                --used;
            }
        }
    }
};
