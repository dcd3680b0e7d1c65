#include "wordreader.h"

#include <array>
#include <cstring>

int minwordlen = 3;

namespace {

enum : unsigned char {
    letter = 1,
    apostrophe = 2, // ' begins a word or joins two runs of letters
    backtick = 4,   // ` joins like ' but never begins a word
    hyphen = 8,     // - joins two runs of letters, never begins a word
};

constexpr std::array<unsigned char, 256> classes = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c >= 0x80)
            table[c] = letter;
    }
    table['\''] = apostrophe;
    table['`'] = backtick;
    table['-'] = hyphen;
    return table;
}();

} // namespace

int iswordchar(int ch)
{
    return ch >= 0 && ch < 256 && (classes[ch] & letter) ? 1 : 0;
}

// One pass over the bytes as a small state machine. The block cursor lives in
// locals so that stores into `buf` (which may alias anything) do not force it
// back to memory; the common case, a run of letters inside one block, is a
// table lookup, a store and a compare per byte.
int readword(Input& in, unsigned char* buf, int maxlen)
{
    const unsigned char* p = in.next;
    const unsigned char* end = in.end;
    auto get = [&]() -> int {
        if (p != end)
            return *p++;
        int ch = in.fill();
        p = in.next;
        end = in.end;
        return ch;
    };
    int n = 0;
    // Bytes past `maxlen` are dropped but still belong to the word, so they
    // never begin another one.
    auto store = [&](int ch) {
        if (n < maxlen)
            buf[n++] = static_cast<unsigned char>(ch);
    };

    int ch;
    for (;;) {
        n = 0;
        do
            ch = get();
        while (ch >= 0 && !(classes[ch] & (letter | apostrophe)));
        if (ch < 0)
            break;

        // ch is a letter, apostrophe, backtick or hyphen here.
        for (;;) {
            const unsigned char kind = classes[ch];
            if (kind & (apostrophe | backtick)) {
                store(ch);
                ch = get();
                if (ch < 0 || !(classes[ch] & letter))
                    break; // the joiner stays; the byte after it is consumed
                store(ch);
            } else if (kind & hyphen) {
                if (n == 0)
                    break;
                const bool stored = n < maxlen;
                store(ch);
                ch = get();
                if (ch < 0)
                    break; // finishing strips the trailing hyphen
                if (!(classes[ch] & letter)) {
                    if (stored)
                        --n;
                    break;
                }
                store(ch);
            } else {
                store(ch);
            }
            // The hot loop: the rest of a run of letters.
            while ((ch = get()) >= 0 && (classes[ch] & letter))
                store(ch);
            if (ch < 0 || !(classes[ch] & (apostrophe | backtick | hyphen)))
                break; // a separator ends the word and is consumed
        }
        if (ch < 0 || n >= minwordlen)
            break;
    }

    // A trailing hyphen goes; at end of input so does a fragment too short to
    // be a word.
    while (n > 0 && (buf[n - 1] == '-' || n < minwordlen))
        --n;
    std::memset(buf + n, 0, static_cast<std::size_t>(maxlen + 1 - n));
    in.next = p;
    in.end = end;
    return ch;
}

wordhash hashword(unsigned char* buf, int maxlen)
{
    if (maxlen < 1)
        return 0xFFFFFFFFu;
    buf[maxlen] = 0;
    wordhash h = 0;
    for (const unsigned char* c = buf; *c != 0; ++c) {
        // Bytes from 0x80 up count as negative: the hash sign-extends them.
        const wordhash x = static_cast<wordhash>(static_cast<std::int32_t>(static_cast<signed char>(*c)));
        h += x;
        h ^= x << 24;
        h += ~x << 16;
        h ^= (0u - x) << 8;
        h = (h << 1) + (h >> 1);
    }
    return h;
}
