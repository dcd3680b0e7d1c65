// tallvik as first designed, every step spelled out: a word reader that takes
// one byte at a time, the hash, a list searched from the front, two passes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace model {

using Bytes = std::string;

inline bool isletter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c > 127; }

// Reads the next word of `text` from `at` on, as the word reader does.
inline int readword(const Bytes& text, std::size_t& at, unsigned char* buf, int maxlen, int minlen)
{
    auto get = [&] { return at < text.size() ? static_cast<unsigned char>(text[at++]) : -1; };
    int ch, n;
    auto store = [&](int c) { n < maxlen ? void(buf[n++] = static_cast<unsigned char>(c)) : void(); };
    do {
        std::memset(buf, 0, static_cast<std::size_t>(maxlen) + 1);
        for (n = 0; (ch = get()) >= 0 && !isletter(ch) && ch != '\'';) {}
        while (ch >= 0) { // ch is a letter, apostrophe, backtick or hyphen
            if (ch == '\'' || ch == '`') {
                store(ch);
                if (!isletter(ch = get()))
                    break;
            } else if (ch == '-') {
                const bool stored = n < maxlen;
                if (n == 0 || (store(ch), ch = get()) < 0)
                    break;
                if (!isletter(ch)) {
                    buf[n -= stored] = 0; // the hyphen goes again, and the byte after it
                    break;
                }
            }
            store(ch);
            if (ch = get(); !isletter(ch) && ch != '\'' && ch != '`' && ch != '-')
                break;
        }
    } while (ch >= 0 && n < minlen);
    while (n > 0 && (buf[n - 1] == '-' || n < minlen))
        buf[--n] = 0;
    return ch;
}

inline std::uint32_t hashword(const unsigned char* buf)
{
    std::uint32_t h = 0;
    for (std::uint32_t x; (x = static_cast<std::uint32_t>(static_cast<std::int8_t>(*buf))) != 0; ++buf) {
        h = (((h + x) ^ (x << 24)) + (~x << 16)) ^ ((0u - x) << 8);
        h = (h << 1) + (h >> 1);
    }
    return h;
}

// The order of the entries matters only to the replacement cursor, so the
// key planted past the last entry and the hint left for dropword, which only
// make searches shorter, are left out.
struct List {
    std::vector<std::uint32_t> hashes, counts;
    std::int32_t max, used = 0, cursor = 0;

    explicit List(std::int32_t size) : hashes(static_cast<std::size_t>(size)), counts(hashes.size()), max(size) {}
    std::int32_t search(std::uint32_t h)
    {
        std::int32_t k = 0;
        while (k < used && hashes[k] != h)
            ++k;
        return k;
    }
    // Returns whether `h` got a new entry.
    bool addword(std::uint32_t h)
    {
        std::int32_t k = search(h);
        if (k == max) {
            while (cursor < used && counts[cursor] > 1)
                ++cursor;
            if (cursor == used)
                return false;
            hashes[cursor] = h, counts[cursor] = 1;
        } else if (k == used) {
            hashes[used] = h, counts[used++] = 1;
        } else {
            if (counts[k] != UINT32_MAX && (++counts[k] & 7) == 0)
                for (; k > 0 && counts[k] > counts[k - 1]; --k)
                    std::swap(hashes[k], hashes[k - 1]), std::swap(counts[k], counts[k - 1]);
            return false;
        }
        return true;
    }
    std::uint32_t findword(std::uint32_t h) { return search(h) < used ? counts[search(h)] : 0; }
    void removeat(std::int32_t k) { --used, hashes[k] = hashes[used], counts[k] = counts[used]; }
    void dropword(std::uint32_t h) { search(h) < used ? removeat(search(h)) : void(); }
    void prunewords(std::uint32_t m)
    {
        for (std::int32_t k = used - 1; k >= 0; --k)
            counts[k] < m ? removeat(k) : void();
    }
};

inline Bytes countline(std::uint32_t count, const Bytes& word)
{
    char text[16];
    return Bytes(text, std::snprintf(text, sizeof text, "%8lu ", static_cast<unsigned long>(count))) + word + "\n";
}

inline Bytes summary(unsigned long long words, int minlen, int distinct)
{
    return std::to_string(words) + " words were counted which were larger than " + std::to_string(minlen) +
           " chars\nof these words " + std::to_string(distinct) + " seemed unique\n";
}

// Standard output and exit status of a run over `bytes` once minwordlen and
// mincount are settled.
inline std::pair<Bytes, int> run(const Bytes& bytes, int minlen, std::uint32_t mincount)
{
    static List list(400000);
    list.used = list.cursor = 0; // nothing past `used` is read before it is written
    unsigned char buf[64] = {};
    std::size_t first = 0, second = 0;
    unsigned long long words = 0;
    for (int last = 0; last >= 0;)
        if ((last = readword(bytes, first, buf, 62, minlen)) >= 0 || buf[0] != 0)
            list.addword(hashword(buf)), ++words;
    const int distinct = list.used;
    list.prunewords(mincount);
    Bytes out;
    for (int last = 0; last >= 0 && ((last = readword(bytes, second, buf, 62, minlen)) >= 0 || buf[0] != 0);)
        if (const std::uint32_t count = list.findword(hashword(buf)))
            out += countline(count, reinterpret_cast<char*>(buf)), list.dropword(hashword(buf));
    return {out + summary(words, minlen, distinct), distinct == list.max};
}

} // namespace model
