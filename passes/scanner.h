// Pass one's reader: the input a block at a time, each block handed back in
// a batch with the words that begin in it, their offsets and lengths;
// hashbatch then takes their hashes, in whichever thread has time.
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

#include "io/input.h"
#include "kernels/kernels.h"
#include "words/wordreader.h"

inline constexpr std::size_t batchbytes = blockbytes;

// One block of the input and the words that begin in it, in input order.
// Every member starts at zero, so that static batches cost no start-up.
struct Batch {
    // Every word but the last of a block ends at a byte after it, so a
    // block holds at most one word for each two bytes, and one more.
    static constexpr std::size_t capacity = batchbytes / 2 + 2;

    std::uint64_t blockstart = 0; // the offset in the input of data[0]
    std::uint32_t words = 0;
    std::uint32_t size = 0;       // bytes in `data`
    bool last = false;            // no batch follows this one in its range
    bool hashed = false;          // whether `hashes` are filled in
    int readerror = 0;            // with `last`: errno of a read that failed
    // The last word may run on into the next block, whose bytes are the next
    // batch's: then its offset and bytes are kept here, and its hash.
    bool straddles = false;
    std::uint64_t laststart = 0;
    unsigned char lastbytes[maxwordlen]{};

    wordhash hashes[capacity]{};
    // A lineup may write 32 entries past the last word.
    std::uint16_t offsets[capacity + 32]{}; // in `data`
    std::uint8_t lengths[capacity + 32]{};
    // The block: `block`, or one the reader traded for it, of the same size.
    unsigned char* data = nullptr;
    // The hash kernels may read 128 bytes from a word's first byte on.
    alignas(64) unsigned char block[batchbytes + 128]{};

    // Noted by the counter: the places of the words that created an entry,
    // in order, for whichever thread records them before the batch is
    // filled again.
    std::uint32_t made = 0;
    std::uint16_t created[capacity]{};

    bool straddling(std::uint32_t i) const { return straddles && i + 1 == words; }
    std::uint64_t start(std::uint32_t i) const { return straddling(i) ? laststart : blockstart + offsets[i]; }
    const unsigned char* bytes(std::uint32_t i) const { return straddling(i) ? lastbytes : data + offsets[i]; }
};

// A reading thread's state, on cache lines of its own: readers side by side
// would otherwise write to the lines of their neighbours' state.
struct alignas(64) Scanner {
    const Kernels* kernels = nullptr;
    int minwordlen = 0;

    // The scanner's own, between calls of scan.
    Input in;
    // Where a word that runs on past its block is read to its end. Whatever
    // follows it there is the next batch's, which takes the buffer over.
    unsigned char* spare = nullptr;
    Masks masks[batchbytes / 64 + 2]{};
    unsigned char wordbuf[maxwordlen + 2]{};
    alignas(64) unsigned char spareblock[batchbytes + 128]{};

    // Reads `input` from where it stands to its end, which must not be inside
    // a word, through scan().
    void begin(const Input& input);

    // Fills `b` with the next block and the words that begin in it, and
    // returns whether another batch follows. The last is marked `last`, and
    // has `readerror` set if a read failed, which ends the input early.
    bool scan(Batch& b);
};

// Makes `b` an empty last batch, for a reader that stops before its input ends.
void endearly(Batch& b);

// Fills in the hashes of a batch's words with `kernels`, once.
void hashbatch(Batch& b, const Kernels& kernels);
