// The word reader and hash as first designed: one byte at a time, every step
// spelled out, no block reading and no lookup tables. The tests hold the fast
// reader to this one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct ByteStream {
    const unsigned char* data;
    std::size_t size;
    std::size_t pos = 0;

    int get() { return pos < size ? data[pos++] : -1; }
};

inline bool literalisletter(int ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
           (ch >= 0x80 && ch <= 0xFF);
}

inline int literalreadword(ByteStream& s, unsigned char* buf, int maxlen, int minlen)
{
    int ch = -1;
    int n = 0;
    auto store = [&](int c) {
        if (n < maxlen)
            buf[n++] = static_cast<unsigned char>(c);
    };
    for (;;) {
        std::memset(buf, 0, static_cast<std::size_t>(maxlen) + 1);
        n = 0;
        do
            ch = s.get();
        while (ch != -1 && !literalisletter(ch) && ch != '\'');
        if (ch == -1)
            break;
        for (;;) {
            if (ch == '\'' || ch == '`') {
                store(ch);
                ch = s.get();
                if (ch == -1 || !literalisletter(ch))
                    break;
                store(ch);
            } else if (ch == '-') {
                if (n == 0)
                    break;
                const bool stored = n < maxlen;
                store(ch);
                ch = s.get();
                if (ch == -1)
                    break;
                if (!literalisletter(ch)) {
                    if (stored)
                        buf[--n] = 0;
                    break;
                }
                store(ch);
            } else {
                store(ch);
            }
            ch = s.get();
            if (ch == -1)
                break;
            if (!(literalisletter(ch) || ch == '\'' || ch == '`' || ch == '-'))
                break;
        }
        buf[maxlen] = 0;
        if (ch == -1 || n >= minlen)
            break;
    }
    while (n > 0 && (buf[n - 1] == '-' || n < minlen))
        buf[--n] = 0;
    return ch;
}

inline std::uint32_t literalhashword(const unsigned char* buf)
{
    std::uint32_t h = 0;
    for (; *buf != 0; ++buf) {
        const auto x = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<std::int8_t>(*buf)));
        h = h + x;
        h = h ^ (x << 24);
        h = h + ((~x) << 16);
        h = h ^ ((0u - x) << 8);
        h = (h << 1) + (h >> 1);
    }
    return h;
}
