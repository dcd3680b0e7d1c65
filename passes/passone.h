// Pass one: every word of the input counted in the table, and each entry the
// table creates recorded at its first occurrence.
//
// With two threads, a reader scans blocks ahead, finding their words, and
// the calling thread hashes what the reader had no time for and counts
// them, in input order, as a single thread would: the table sees the same
// adds in the same order, so the results are exact whatever the input, a
// full table included. The two take turns at the scanner, so that the
// counter reads for itself whenever the reader is not there, and the reader
// stops while its help does not pay, as on a busy machine. With more, several
// readers share a regular file, cut into ranges, and the counter still
// takes the words in input order, and records them too. Readers and counter
// meet in fixed rings of a few blocks.
#pragma once

#include <cstdint>

#include "io/input.h"
#include "passes/records.h"
#include "passes/settings.h"

// How many threads pass one uses: TALLVIK_THREADS if it is set to a number
// from 1 up, else, for a `large` input, the cores this process may run on,
// and one for a small input, where starting threads would cost more than
// they save; never more than 4.
int passonethreads(bool large);

// Counts the words of `in` as `settings` say (the shortest word, the threads
// and the kernel tier), records the first occurrences in `records`, and
// returns the number of words. A read or record that fails ends the process
// with a message naming `name`.
std::uint64_t countwords(const Input& in, const char* name, const Settings& settings, Records& records);
