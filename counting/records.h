// The first occurrences: pass one notes every entry the table creates, in
// the order it creates them, and pass two walks these records instead of
// reading the whole input again.
//
// That visits every word pass two can print, at the occurrence where it must
// print it. A hash met for the first time either creates an entry, and is
// recorded, or is lost. It is lost only when the replacement cursor has
// passed every entry, each seen more than once by then; counts never fall,
// so the cursor never stops again, nothing enters the table any more, and a
// lost hash is never in the final table. So every hash in the final table
// was recorded at its first occurrence in the input, which is where reading
// the input again would print it, under the spelling found there. A hash
// replaced and created again later has later records too; they come after
// its first, which prints and drops it, so they find nothing.
//
// A record holds the word's hash and either its offset in the input (for a
// file that can be read again) or, for a pipe, the word itself. Records up
// to the table's capacity fit in fixed storage as long as words are of
// usual length; the rest go to an unnamed temporary file in $TMPDIR (or
// /tmp), which only a full table or very long words call for.
//
// A large file's records keep the words too while the storage has room for
// them beside the offsets: then pass two need not read the file again, which
// on a large vocabulary means reading almost all of it, since a word to
// print lies in almost every block.
#pragma once

#include <cstdint>

#include "scanner.h"
#include "wordreader.h"

// Starts an empty set of records that keep each word's bytes when `keepwords`
// is set, else its offset; for a `large` input, in huge pages, with the
// words kept beside the offsets while there is room. A run on more than one
// thread has more room for them.
void startrecords(bool keepwords, bool large, int threads);

// Notes, in order, the words of `b` that created an entry: those at
// b.created[0] to b.created[b.made - 1]. Returns false with errno set if the
// temporary file cannot be made or written.
bool record(const Batch& b);

// A record as it comes back: the word's hash, length and offset and, if its
// bytes were kept, where they are, or else a null pointer. They stay there
// until the run ends, in the records' storage, or, where reading on would
// overwrite them, copied into the record itself, `copy`.
struct Record {
    Word word;
    const unsigned char* bytes;
    unsigned char copy[maxwordlen];
};

// Gets the records back in the order they were noted: call rewindrecords()
// once after the last record(), then nextrecord() until it returns 0. It
// passes over every record for which `wanted`, given the record's number
// (counted from 0) and hash, is false, and returns 1 with the next record
// wanted, 0 after the last, and -1 with errno set when the temporary file
// cannot be read. rewindrecords() returns false with errno set when it
// cannot be written.
bool rewindrecords();
int nextrecord(Record& record, bool (*wanted)(std::uint64_t number, std::uint32_t hash));
