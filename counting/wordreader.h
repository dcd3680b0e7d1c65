// Splitting the input into words, and a word into its 32-bit hash.
//
// A word is a run of letters (a-z, A-Z, 0-9 and every byte from 0x80 to
// 0xFF). An apostrophe may begin a word and, like a backtick, joins two runs
// of letters; a hyphen joins two runs and is dropped unless a letter follows
// it. Every other byte separates words. Words keep at most `maxlen` bytes.
#pragma once

#include <cstdint>

#include "input.h"

using wordhash = std::uint32_t;

inline constexpr int maxwordlen = 62;

// Shortest word taken, 1 to maxwordlen; shorter ones are skipped.
extern int minwordlen;

// 1 if `ch` is a letter, else 0; 0 for end of input (-1) and any value
// outside 0 to 255.
int iswordchar(int ch);

// What the reader knows of the word it leaves in the buffer.
struct Word {
    wordhash hash;       // what hashword(buf, maxlen) gives for it
    int length;          // its bytes, which are the input's from `start` on
    std::uint64_t start; // the offset in the input of its first byte
};

// Reads the next word of at least `minwordlen` bytes into `buf`, which has
// room for `maxlen` + 1 bytes: the word, then zero bytes up to buf[maxlen].
// Returns the last value read: -1 when the input ended during the call,
// which may come with a last word in `buf` (buf[0] != 0) or with none. A
// word cut at `maxlen` that trimming empties comes back empty with a byte
// value.
int readword(Input& in, unsigned char* buf, int maxlen, Word& word);

// The hash of the zero-ended text in `buf`, of which at most `maxlen` bytes
// are read: buf[maxlen] is set to zero first. 0xFFFFFFFF if maxlen < 1.
wordhash hashword(unsigned char* buf, int maxlen);
