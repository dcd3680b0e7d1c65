// What a whole run prints, computed with the byte-at-a-time reader and the
// front-searched list.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "literalreader.h"
#include "literaltable.h"

inline std::string summary(unsigned long long words, int minlen, int distinct)
{
    return std::to_string(words) + " words were counted which were larger than " + std::to_string(minlen) +
           " chars\nof these words " + std::to_string(distinct) + " seemed unique\n";
}

inline std::string countline(std::uint32_t count, const std::string& word)
{
    char text[32];
    std::snprintf(text, sizeof text, "%8lu ", static_cast<unsigned long>(count));
    return text + word + "\n";
}

// What a run prints, computed with the byte-at-a-time reader and the
// literal list.
inline std::string literalrun(const std::string& bytes, int minlen, std::uint32_t mincount)
{
    static auto table = std::make_unique<LiteralTable<400000>>();
    // Nothing past `used` is read before it is written.
    table->used = table->cursor = table->lastfound = 0;
    unsigned char buf[64] = {};
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());

    ByteStream first{data, bytes.size()};
    unsigned long long words = 0;
    for (;;) {
        const int last = literalreadword(first, buf, 62, minlen);
        if (last < 0 && buf[0] == 0)
            break;
        table->addword(literalhashword(buf));
        ++words;
        if (last < 0)
            break;
    }
    const int distinct = table->used;
    table->prunewords(mincount);

    std::string out;
    ByteStream second{data, bytes.size()};
    for (;;) {
        const int last = literalreadword(second, buf, 62, minlen);
        if (last < 0 && buf[0] == 0)
            break;
        const std::uint32_t h = literalhashword(buf);
        if (const std::uint32_t count = table->findword(h)) {
            out += countline(count, reinterpret_cast<char*>(buf));
            table->dropword(h);
        }
        if (last < 0)
            break;
    }
    return out + summary(words, minlen, distinct);
}

