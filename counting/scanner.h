// Pass one's reader: the input a block at a time, each block handed on with
// the words that end in it, their offsets and lengths; hashbatch then takes
// their hashes, in whichever thread has time.
//
// In a block, the classifier's masks lead from word to word with bit scans,
// and a word that is a plain run of letters ended by a separator, the usual
// kind, is taken from them at once. Every other word (one that begins with
// an apostrophe, holds a joiner, or runs into the next block) is read by
// readword, from the word's first byte: after a separator the reader is
// always between words, so both ways take exactly the same words.
#pragma once

#include <cstddef>
#include <cstdint>

#include "input.h"
#include "simd.h"
#include "wordreader.h"

inline constexpr std::size_t batchbytes = std::size_t{1} << 15;

// One block of the input and the words that end in it, in input order.
// Every member starts at zero, so that static batches cost no start-up.
struct Batch {
    // Every word but the last of a block ends at a byte after it, so a
    // block holds at most one word for each two bytes, and one more that
    // began in an earlier block.
    static constexpr std::size_t capacity = batchbytes / 2 + 2;

    std::uint64_t blockstart = 0; // the offset in the input of data[0]
    std::uint32_t words = 0;
    std::uint32_t size = 0;       // bytes in `data`
    bool last = false;            // no batch follows this one in its range
    bool hashed = false;          // whether `hashes` are filled in
    int readerror = 0;            // with `last`: errno of a read that failed
    // Word 0 may have begun in an earlier block, whose bytes are gone by
    // now: then its offset and bytes are kept here.
    bool straddles = false;
    std::uint64_t firststart = 0;
    unsigned char firstbytes[maxwordlen]{};

    wordhash hashes[capacity]{};
    // noteruns may write 32 entries past the last word.
    std::uint16_t offsets[capacity + 32]{}; // in `data`
    std::uint8_t lengths[capacity + 32]{};
    // The hash kernels may read 128 bytes from a word's first byte on.
    alignas(64) unsigned char data[batchbytes + 128]{};

    // Noted by the counter: the places of the words that created an entry,
    // in order, for whichever thread records them before the batch is
    // filled again.
    std::uint32_t made = 0;
    std::uint16_t created[capacity]{};

    std::uint64_t start(std::uint32_t i) const { return i == 0 && straddles ? firststart : blockstart + offsets[i]; }
    const unsigned char* bytes(std::uint32_t i) const { return i == 0 && straddles ? firstbytes : data + offsets[i]; }
};

struct Scanner;

// Receives each batch once its block is used up and returns the batch to
// fill next, which may be the same one once it has been counted.
using Handover = Batch* (*)(Scanner& scanner, Batch* full);

// A reading thread's state, on cache lines of its own: readers side by side
// would otherwise write to the lines of their neighbours' state.
struct alignas(64) Scanner {
    Handover handover = nullptr;
    int ring = 0; // which ring the handover fills, for a caller with several
    const Kernels* kernels = nullptr;
    int minwordlen = 1;
    // Set by handover when the run cannot succeed any more: the input then
    // ends after the block just handed over.
    bool stop = false;

    // The reader's own, between calls of handover.
    Batch* batch = nullptr;  // the batch of the current block
    bool classified = false; // whether `masks` describe the current block
    Masks masks[batchbytes / 64 + 2]{};
    unsigned char wordbuf[maxwordlen + 2]{};
};

// Fills in the hashes of a batch's words with `kernels`, once.
void hashbatch(Batch& b, const Kernels& kernels);

// Reads `in` from where it stands to its end, which must not be inside a
// word, through batches: `first` is filled first. The last batch is handed
// over with `last` set, and with `readerror` if a read failed, which ends
// the input early. Returns the batch that handover gave back for it.
Batch* scaninput(Scanner& scanner, Input& in, Batch* first);
