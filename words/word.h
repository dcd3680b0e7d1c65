// What a word is, for everything that reads words: its byte classes, its
// longest length and its 32-bit hash, a step per byte.
//
// A word is a run of letters (a-z, A-Z, 0-9 and every byte from 0x80 to
// 0xFF). An apostrophe may begin a word and, like a backtick, joins two runs
// of letters; a hyphen joins two runs and is dropped unless a letter follows
// it. Every other byte separates words. Words keep at most `maxwordlen` bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

using wordhash = std::uint32_t;

inline constexpr int maxwordlen = 62;

// The byte classes and the hash step, shared by the readers of words.
namespace wordbytes {

enum : unsigned char {
    letter = 1,
    apostrophe = 2, // ' begins a word or joins two runs of letters
    backtick = 4,   // ` joins like ' but never begins a word
    hyphen = 8,     // - joins two runs of letters, never begins a word
};

inline constexpr std::array<unsigned char, 256> classes = [] {
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

inline constexpr std::array<HashTerms, 256> hashterms = [] {
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

inline wordhash hashbytes(const unsigned char* word, std::size_t length)
{
    wordhash h = 0;
    for (std::size_t j = 0; j < length; ++j)
        h = hashstep(h, word[j]);
    return h;
}

} // namespace wordbytes
