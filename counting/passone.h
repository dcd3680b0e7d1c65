// Pass one: every word of the input counted in the table, and each entry the
// table creates recorded at its first occurrence.
//
// With more than one thread, one thread reads the input and finds its words
// and their hashes, and the calling thread counts them, in input order, as
// a single thread would: the table sees the same adds in the same order, so
// the results are exact whatever the input, a full table included. The two
// meet in a fixed ring of a few blocks.
#pragma once

#include <cstdint>

#include "input.h"

// How many threads pass one uses: TALLVIK_THREADS if it is set to a number
// from 1 up, else the cores this process may run on; never more than 4.
int passonethreads();

// Counts the words of `in` with up to `threads` threads and returns their
// number. A read or record that fails ends the process with a message
// naming `name`.
std::uint64_t countwords(Input& in, const char* name, int threads);
