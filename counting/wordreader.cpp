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

// What one byte adds to the hash, worked out once per byte value so that a
// hash step is four operations with memory operands and a rotation-like
// mix. Bytes from 0x80 up count as negative: they are sign-extended.
struct HashTerms {
    wordhash x, high, middle, low;
};

constexpr std::array<HashTerms, 256> hashterms = [] {
    std::array<HashTerms, 256> terms{};
    for (int byte = 0; byte < 256; ++byte) {
        const auto x = static_cast<wordhash>(static_cast<std::int32_t>(static_cast<signed char>(byte)));
        terms[byte] = {x, x << 24, ~x << 16, (0u - x) << 8};
    }
    return terms;
}();

inline wordhash hashstep(wordhash h, unsigned char byte)
{
    const HashTerms& t = hashterms[byte];
    h += t.x;
    h ^= t.high;
    h += t.middle;
    h ^= t.low;
    return (h << 1) + (h >> 1);
}

} // namespace

int iswordchar(int ch)
{
    return ch >= 0 && ch < 256 && (classes[ch] & letter) ? 1 : 0;
}

// One pass over the bytes as a small state machine that also hashes each
// byte as it is stored, so that a word's bytes are touched once and its end
// costs one mispredicted branch, not two. The block cursor lives in locals so
// that stores into `buf` (which may alias anything) do not force it back to
// memory; the common case, a run of letters inside one block, is a table
// lookup, a store and a hash step per byte.
int readword(Input& in, unsigned char* buf, int maxlen, Word& word)
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
    wordhash h = 0;
    // Bytes past `maxlen` are dropped but still belong to the word, so they
    // never begin another one.
    auto store = [&](int ch) {
        if (n < maxlen) {
            buf[n++] = static_cast<unsigned char>(ch);
            h = hashstep(h, static_cast<unsigned char>(ch));
        }
    };

    // Everything past the word stays zero from here on. The usual size is
    // cleared with a few inline stores rather than a call.
    if (maxlen == maxwordlen)
        std::memset(buf, 0, maxwordlen + 1);
    else
        std::memset(buf, 0, static_cast<std::size_t>(maxlen) + 1);

    int ch;
    std::uint64_t start = 0;
    for (;;) {
        do
            ch = get();
        while (ch >= 0 && !(classes[ch] & (letter | apostrophe)));
        if (ch < 0)
            break;
        start = in.blockstart + static_cast<std::uint64_t>(p - 1 - in.block);

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
                const wordhash before = h;
                store(ch);
                ch = get();
                if (ch < 0)
                    break; // finishing strips the trailing hyphen
                if (!(classes[ch] & letter)) {
                    if (stored) {
                        buf[--n] = 0;
                        h = before;
                    }
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
        while (n > 0)
            buf[--n] = 0;
        h = 0;
    }

    // A trailing hyphen goes; at end of input so does a fragment too short to
    // be a word. Both are rare, so the hash is simply taken again.
    if (n > 0 && (buf[n - 1] == '-' || n < minwordlen)) {
        do
            buf[--n] = 0;
        while (n > 0 && (buf[n - 1] == '-' || n < minwordlen));
        h = hashword(buf, maxlen);
    }
    word.start = start;
    in.next = p;
    in.end = end;
    word.hash = h;
    word.length = n;
    return ch;
}

wordhash hashword(unsigned char* buf, int maxlen)
{
    if (maxlen < 1)
        return 0xFFFFFFFFu;
    buf[maxlen] = 0;
    wordhash h = 0;
    for (const unsigned char* c = buf; *c != 0; ++c)
        h = hashstep(h, *c);
    return h;
}
