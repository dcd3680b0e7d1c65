#include "scanner.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "simd.h"

namespace {

using namespace wordbytes;

constexpr std::size_t chunks = batchbytes / 64;

// The reader's state; there is one reader per process.
struct Scan {
    Batch* batch = nullptr; // the batch of the current block
    Handover handover = nullptr;
    Kernel kernel = Kernel::portable;
    bool classified = false; // whether `masks` describe the current block
    Masks masks[chunks + 2];
    unsigned char wordbuf[maxwordlen + 2];
};
Scan scan;

void classifyblock(std::size_t n)
{
    const std::size_t used = (n + 63) / 64;
    classify(scan.kernel, scan.batch->data, used, scan.masks);
    if (n % 64 != 0) {
        const std::uint64_t inside = (std::uint64_t{1} << (n % 64)) - 1;
        scan.masks[used - 1].letters &= inside;
        scan.masks[used - 1].starts &= inside;
        // The block may end inside a word: its last chunk goes word by word.
        scan.masks[used - 1].joiners |= ~inside;
    }
    // Windows read up to two chunks past the last.
    scan.masks[used] = scan.masks[used + 1] = Masks{0, 0, 0};
    scan.classified = true;
}

// The 64 bits of a mask from byte `at` on.
template <std::uint64_t Masks::*Mask>
std::uint64_t window(std::size_t at)
{
    const Masks* m = scan.masks + at / 64;
    const unsigned shift = at % 64;
    return (m[0].*Mask >> shift) | ((m[1].*Mask << 1) << (63 - shift));
}

// Notes a plain word of `length` bytes at `first`. It is written whether or
// not it is long enough, and kept by the count: a branch here would guess
// wrong at every other short word.
inline void notewords(Batch& b, std::uint32_t& words, std::size_t first, std::size_t length, std::size_t shortest)
{
    length = std::min(length, std::size_t{maxwordlen});
    b.offsets[words] = static_cast<std::uint16_t>(first);
    b.lengths[words] = static_cast<std::uint8_t>(length);
    words += length >= shortest;
}

// Takes the plain words of the current block from in.next on: the reader is
// between words there, so the byte before is no letter. Stops at the block's
// end or before the first word that readword must read, leaving in.next
// there.
//
// In a chunk without joiners every word is a run of letters ended by a
// separator: the runs' starts and ends are two masks, walked side by side,
// with no branch that depends on the text but the chunk's last word. Other
// chunks go a word at a time, with two bit scans of 64-bit windows.
void takeplainwords(Input& in)
{
    Batch& b = *scan.batch;
    const unsigned char* data = b.data;
    const std::size_t n = static_cast<std::size_t>(in.end - data);
    if (!scan.classified)
        classifyblock(n);
    std::size_t at = static_cast<std::size_t>(in.next - data);
    const std::size_t shortest = static_cast<std::size_t>(minwordlen);
    std::uint32_t words = b.words;
    while (at < n) {
        const std::size_t base = at & ~std::size_t{63};
        const Masks& chunk = scan.masks[base / 64];
        if (chunk.joiners == 0) {
            const std::uint64_t letters = chunk.letters & (~std::uint64_t{0} << (at % 64));
            std::uint64_t starts = letters & ~(letters << 1);
            std::uint64_t ends = ~letters & (letters << 1);
            at = base + 64;
            for (; starts != 0 && ends != 0; starts &= starts - 1, ends &= ends - 1) {
                const std::size_t first = base + static_cast<std::size_t>(std::countr_zero(starts));
                notewords(b, words, first, static_cast<std::size_t>(std::countr_zero(ends)) + base - first, shortest);
            }
            // A run of letters that goes on into the next chunk.
            if (starts != 0)
                at = base + static_cast<std::size_t>(std::countr_zero(starts));
            else
                continue;
        }
        const std::uint64_t starts = window<&Masks::starts>(at);
        if (starts == 0) {
            at += 64;
            continue;
        }
        const std::size_t first = at + static_cast<std::size_t>(std::countr_zero(starts));
        const std::uint64_t after = ~window<&Masks::letters>(first);
        const std::size_t end = first + static_cast<std::size_t>(std::countr_zero(after));
        // An apostrophe first, 64 letters or more, a joiner after the letters,
        // or letters up to the end of the block: readword takes this word.
        if (after == 0 || end == first || end >= n || classes[data[end]] != 0) {
            at = first;
            break;
        }
        notewords(b, words, first, end - first, shortest);
        at = end + 1; // the separator is consumed
    }
    b.words = words;
    in.next = data + std::min(at, n);
}

// Adds the word readword just read.
void addreadword(const Word& word)
{
    Batch& b = *scan.batch;
    const std::uint32_t i = b.words++;
    b.lengths[i] = static_cast<std::uint8_t>(word.length);
    if (word.start >= b.blockstart) {
        b.offsets[i] = static_cast<std::uint16_t>(word.start - b.blockstart);
        return;
    }
    // Only the first word of a block can have begun before it.
    b.straddles = true;
    b.firststart = word.start;
    b.hashes[i] = word.hash;
    std::memcpy(b.firstbytes, scan.wordbuf, maxwordlen);
}

void startbatch(Input& in, Batch* batch)
{
    scan.batch = batch;
    scan.classified = false;
    batch->blockstart = in.blockstart;
    batch->words = 0;
    batch->straddles = false;
    batch->last = false;
    batch->hashed = false;
    in.block = batch->data;
    in.blocksize = batchbytes;
    in.next = in.end = in.block;
}

// Called by in.fill() before it reads the next block: the block just used up
// goes with its words, and the next is read into the batch handed back.
void nextblock(Input& in)
{
    if (in.end == in.block)
        return startbatch(in, scan.batch);
    startbatch(in, scan.handover(scan.batch));
}

} // namespace

void scaninput(Input& in, Batch* first, Handover handover)
{
    scan.handover = handover;
    scan.kernel = bestkernel();
    startbatch(in, first);
    in.beforefill = nextblock;
    for (;;) {
        takeplainwords(in);
        Word word;
        const int last = readword(in, scan.wordbuf, maxwordlen, word);
        if (last >= 0 || scan.wordbuf[0] != 0)
            addreadword(word);
        if (last < 0)
            break;
    }
    in.beforefill = nullptr;
    scan.batch->last = true;
    handover(scan.batch);
}

void hashbatch(Batch& b)
{
    if (b.hashed)
        return;
    b.hashed = true;
    // A word that began in an earlier block comes with its hash.
    const std::uint32_t first = b.straddles ? 1 : 0;
    hashspans(scan.kernel, b.data, b.offsets + first, b.lengths + first, b.words - first, b.hashes + first);
}
