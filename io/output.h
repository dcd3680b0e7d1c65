// Everything the program prints on standard output, through one fixed
// buffer, and its one way of failing.
#pragma once

#include <cstddef>
#include <cstdint>

// Prints "tallvik: WHAT 'NAME': REASON" (or "tallvik: WHAT: REASON" when
// `name` is null) on standard error, with `err` as the errno of the reason,
// and ends the process with status 2.
[[noreturn]] void fail(const char* what, const char* name, int err);
[[noreturn]] void fail(const char* what, const char* name, const char* reason);

// Says on standard error that the table filled up with `capacity` words, so
// that counts may be incomplete.
void warnfulltable(std::int32_t capacity);

// The usage text, naming the program as `program` and the table's capacity.
void printusage(const char* program, std::int32_t capacity);

// "tallvik" and the version.
void printversion();

// The notices for a defaulted minimum word length and minimum count.
void printlengthnotice(int minwordlen, int maxwordlen);
void printcountnotice(std::uint32_t mincount);

// One frequency line: the count right-aligned in eight columns, a space and
// the `length` bytes of `word`, at most a few hundred.
void printcount(std::uint32_t count, const unsigned char* word, int length);

// The line printcount() prints, put at `line`, which has room for
// `longestcount` + 2 + `length` bytes; returns its length.
inline constexpr int longestcount = 10;
std::size_t formatcount(unsigned char* line, std::uint32_t count, const unsigned char* word, int length);

// Prints `size` bytes of lines that formatcount() made.
void printlines(const unsigned char* lines, std::size_t size);

void printsummary(std::uint64_t words, int minwordlen, std::int32_t distinct);

// Writes out what is buffered. A failed write ends the run with status 2,
// since every later line would be lost too.
void flushoutput();
