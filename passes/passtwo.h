// Pass two: every word counted at least `mincount` times printed once, at
// its first occurrence, found through the records pass one made.
#pragma once

#include <cstdint>

#include "io/input.h"
#include "passes/records.h"

// Prints the words that the table counted at least `mincount` times, each
// with its count, in the order of their first occurrences, taking their
// bytes from `records` or, where they were not kept, from `in` again. A
// read that fails, a file found changed, or a temporary file that cannot be
// read ends the process with a message naming `name`. With `threads`, and a
// core to spare, a second thread prints the later part of the first records.
void printwords(Input& in, const char* name, std::uint32_t mincount, bool threads, Records& records);
