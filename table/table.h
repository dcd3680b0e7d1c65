// The frequency table: how often each word hash was met, for up to
// `maxwords` distinct hashes, in storage reserved once and never grown.
//
// A run adds every word, counts the entries it will print, then looks them
// up again, dropping a printed one where it could be met a second time. Once
// the table is full a new word takes the place of the earliest-stored word
// still seen only once; when no such word is left, new words are lost.
#pragma once

#include <cstdint>

inline constexpr std::int32_t maxwords = 400000;

// Empties the table and picks this run's bucket layout; call before the
// first addwords of a run. Memory is committed as entries arrive, at most
// about 10 MB; with `large` (an input expected to bring many words) it is
// committed in huge pages, which costs fewer page faults in all.
void preparetable(bool large);

// Counts hashes[0] to hashes[n - 1], n at most 65536, in that order; a
// count stops at 4294967295. Once the table is full, a new hash that finds no
// entry seen once to replace is lost. Sets created[k] to the place in
// `hashes` of the k-th hash that got a new entry, and returns their number.
std::uint32_t addwords(const std::uint32_t* hashes, std::uint32_t n, std::uint16_t* created);

// Hints that `h` is about to be looked up: its place in the table starts to
// load into the cache. Results never depend on it.
void expectword(std::uint32_t h);

// The count of `h`, or 0 if the table holds no entry for it. It only reads
// the table: threads may find words at once while none adds or drops.
std::uint32_t findword(std::uint32_t h);

// For a hash that got a new entry after the table was full (after the first
// `maxwords` new entries): false only if it has no entry now. A full table
// keeps few of the new words it is given, and remembers roughly which; this
// asks that memory, which stays in the cache, rather than the table.
bool mayhavejoinedlate(std::uint32_t h);

// Deletes the entry of `h`, if any.
void dropword(std::uint32_t h);

// The number of entries counted at least `m` times, `m` at least 1. No
// word may be added after it.
std::int32_t wordsatleast(std::uint32_t m);

// The number of entries in the table.
std::int32_t tablesize();
