#include "passes/scanner.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "kernels/kernels.h"

namespace {

using namespace wordbytes;

void classifyblock(Scanner& s, const unsigned char* data, std::size_t n)
{
    const std::size_t used = (n + 63) / 64;
    s.kernels->classify(data, used, s.masks);
    if (n % 64 != 0) {
        const std::uint64_t inside = (std::uint64_t{1} << (n % 64)) - 1;
        s.masks[used - 1].letters &= inside;
        s.masks[used - 1].starts &= inside;
        // The block may end inside a word: its last chunk goes word by word.
        s.masks[used - 1].joiners |= ~inside;
    }
    // Windows read up to two chunks past the last.
    s.masks[used] = s.masks[used + 1] = Masks{0, 0, 0};
}

// The 64 bits of a mask from byte `at` on.
template <std::uint64_t Masks::*Mask>
std::uint64_t window(const Scanner& s, std::size_t at)
{
    const Masks* m = s.masks + at / 64;
    const unsigned shift = at % 64;
    return (m[0].*Mask >> shift) | ((m[1].*Mask << 1) << (63 - shift));
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
void takeplainwords(Scanner& s, Batch& b)
{
    Input& in = s.in;
    const unsigned char* data = b.data;
    const std::size_t n = b.size;
    std::size_t at = static_cast<std::size_t>(in.next - data);
    const auto shortest = static_cast<std::uint32_t>(s.minwordlen);
    std::uint32_t words = b.words;
    while (at < n) {
        const std::size_t base = at & ~std::size_t{63};
        const Masks& chunk = s.masks[base / 64];
        if (chunk.joiners == 0) {
            const std::uint64_t letters = chunk.letters & (~std::uint64_t{0} << (at % 64));
            const std::uint64_t starts = letters & ~(letters << 1);
            const std::uint64_t ends = ~letters & (letters << 1);
            const auto from = static_cast<std::uint32_t>(base);
            if (LineUp* lineup = s.kernels->lineup)
                words += lineup(starts, ends, from, shortest, maxwordlen, b.offsets + words, b.lengths + words);
            else
                words += walkruns(starts, ends, from, shortest, maxwordlen, b.offsets + words, b.lengths + words);
            at = base + 64;
            if ((letters >> 63) == 0)
                continue;
            // The chunk ends in a run of letters that goes on into the next;
            // it begins at the last start.
            at = base + 63 - static_cast<std::size_t>(std::countl_zero(starts));
        }
        const std::uint64_t starts = window<&Masks::starts>(s, at);
        if (starts == 0) {
            at += 64;
            continue;
        }
        const std::size_t first = at + static_cast<std::size_t>(std::countr_zero(starts));
        const std::uint64_t after = ~window<&Masks::letters>(s, first);
        const std::size_t end = first + static_cast<std::size_t>(std::countr_zero(after));
        // An apostrophe first, 64 letters or more, a joiner after the letters,
        // or letters up to the end of the block: readword takes this word.
        if (after == 0 || end == first || end >= n || classes[data[end]] != 0) {
            at = first;
            break;
        }
        words += noterun(static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(end - first), shortest,
                         maxwordlen, b.offsets + words, b.lengths + words);
        at = end + 1; // the separator is consumed
    }
    b.words = words;
    in.next = data + std::min(at, n);
}

// Adds the word readword just read, which begins in this block; the one that
// ran on past it, into the spare block, comes with its hash and bytes.
void addreadword(Scanner& s, Batch& b, const Word& word, bool ranon)
{
    const std::uint32_t i = b.words++;
    b.lengths[i] = static_cast<std::uint8_t>(word.length);
    if (!ranon) {
        b.offsets[i] = static_cast<std::uint16_t>(word.start - b.blockstart);
        return;
    }
    b.straddles = true;
    b.laststart = word.start;
    b.hashes[i] = word.hash;
    std::memcpy(b.lastbytes, s.wordbuf, maxwordlen);
}

// Starts `b` on the block `in` holds.
void startbatch(const Input& in, Batch& b)
{
    b.blockstart = in.blockstart;
    b.size = static_cast<std::uint32_t>(in.end - in.block);
    b.words = 0;
    b.straddles = false;
    b.last = false;
    b.hashed = false;
    b.readerror = 0;
}

} // namespace

void Scanner::begin(const Input& input)
{
    in = input;
    in.blocksize = batchbytes;
    if (spare == nullptr)
        spare = spareblock;
}

bool Scanner::scan(Batch& b)
{
    if (b.data == nullptr)
        b.data = b.block;
    if (in.block == spare && in.next != in.end) {
        // The rest of the block a word ran on into is this batch's.
        std::swap(b.data, spare);
    } else {
        in.into = b.data;
        const bool more = in.fill() >= 0;
        in.next = in.block;
        if (!more) {
            startbatch(in, b);
            b.last = true;
            b.readerror = in.readerror;
            return false;
        }
    }
    startbatch(in, b);
    classifyblock(*this, b.data, b.size);
    in.into = spare;
    for (;;) {
        takeplainwords(*this, b);
        if (in.next == in.end)
            return true;
        Word word;
        const int last = readword(in, wordbuf, maxwordlen, minwordlen, word);
        const bool ranon = in.block != b.data;
        if (last >= 0 || wordbuf[0] != 0)
            addreadword(*this, b, word, ranon);
        if (last < 0) {
            b.last = true;
            b.readerror = in.readerror;
            return false;
        }
        if (ranon)
            return true;
    }
}

void endearly(Batch& b)
{
    b.words = b.size = 0;
    b.straddles = b.hashed = false;
    b.last = true;
    b.readerror = 0;
}

void hashbatch(Batch& b, const Kernels& kernels)
{
    if (b.hashed)
        return;
    b.hashed = true;
    // A word that ran on past the block comes with its hash.
    kernels.hashspans(b.data, b.offsets, b.lengths, b.words - (b.straddles ? 1 : 0), b.hashes);
}
