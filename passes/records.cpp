// Making the records, in pass one: into the store, and once that is full
// into an unnamed temporary file.
#include "passes/records.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "io/uninterrupted.h"
#include "passes/recordbytes.h"

using namespace recordbytes;

namespace {

// An unnamed file in $TMPDIR (or /tmp): it vanishes with the process, however
// the process ends.
int opentemporary()
{
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0')
        dir = "/tmp";
    int fd = open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR))
        return fd;
    // The file system has no unnamed files: make a named one and unlink it.
    char path[4096];
    if (std::snprintf(path, sizeof path, "%s/tallvik.XXXXXX", dir) >= static_cast<int>(sizeof path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    fd = mkostemp(path, O_CLOEXEC);
    if (fd >= 0)
        unlink(path);
    return fd;
}

} // namespace

bool Records::spillstore()
{
    if (!spilling && (spill = opentemporary()) < 0)
        return false;
    if (!spilling) {
        held = fits;
        heldcount = fitcount;
    }
    spilling = true;
    for (std::size_t done = held; done < filled;) {
        const ssize_t put = uninterrupted([&] { return write(spill, store + done, filled - done); });
        if (put <= 0) {
            errno = put == 0 ? ENOSPC : errno;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    filled = held;
    return true;
}

void Records::start(bool keepwords, bool large, int threads)
{
    room = threads > 1 ? sizeof store : oneroom;
    // Filled front to back, the store takes a page fault every 4 KiB, some
    // 20 microseconds each here: 1200 of them, a tenth of pass one on a text
    // that fills the table, where huge pages take three.
    if (large)
        madvise(store, room, MADV_HUGEPAGE);
    if (spilling)
        close(spill);
    spilling = false;
    filled = held = fits = 0;
    heldcount = fitcount = 0;
    noted = 0;
    lastoffset = 0;
    wordsfrom = wordscommitted = room;
    keptwords = 0;
    keeping = keepwords;
    caching = !keepwords && large;
}

// Past the first record after the table filled, nearly every record is one
// unit: those have a loop of their own that checks nothing else, which took
// 1 to 5% off pass one on one thread over a table that fills (measured on an
// AMD EPYC). It stops at a record that needs a jump or would end past
// `limit`, and returns its place.
inline std::uint32_t Records::putunits(const Batch& b, std::uint32_t k, std::size_t limit, std::size_t& end,
                                       std::uint64_t& last)
{
    for (; k < b.made; ++k) {
        const std::uint32_t i = b.created[k];
        const std::uint64_t start = b.start(i);
        if (start - last >= std::uint64_t{1} << nearshift || end + lateunit > limit)
            break;
        putunit(store + end, b.hashes[i], b.lengths[i], static_cast<unsigned>(start - last));
        end += lateunit;
        last = start;
    }
    return k;
}

// The store's state stays in registers for a whole batch, and goes back to
// memory only for a spill: written back for each record, it cost a third
// more on a table that fills.
bool Records::record(const Batch& b)
{
    // The new words lie far apart in the block, whose lines have mostly left
    // the cache by now, or sit in the other core's when the counter hashed
    // them: each word is asked for a few words ahead, so that the waits
    // overlap. That took 2 to 6% off runs on two threads of the growing and
    // the table-filling corpus (measured).
    constexpr std::uint32_t wordsahead = 8;
    std::size_t end = filled, from = wordsfrom, fit = fits;
    std::uint64_t fitn = fitcount;
    std::uint64_t last = lastoffset, kept = keptwords, n = noted;
    bool keep = caching;
    // The bytes are wanted only by records that hold or keep them.
    const auto expect = [&](std::uint32_t i) {
        __builtin_prefetch(&b.hashes[i]);
        if (keeping || keep)
            __builtin_prefetch(b.bytes(i));
    };
    if (keep)
        commitwords(from);
    for (std::uint32_t k = 0; k < b.made && k < wordsahead; ++k)
        expect(b.created[k]);
    for (std::uint32_t k = 0; k < b.made; ++k) {
        if (n > maxwords && !keeping) {
            const std::uint32_t first = k;
            k = putunits(b, k, spilling ? from : from - std::min(from, spillbuffer), end, last);
            n += k - first;
            // Each of them ended before the file's buffer, if none has gone to the file yet.
            if (k > first && !spilling) {
                fit = end;
                fitn = n;
            }
            if (k == b.made)
                break;
        }
        if (k + wordsahead < b.made)
            expect(b.created[k + wordsahead]);
        const std::uint32_t i = b.created[k];
        const std::size_t length = b.lengths[i];
        const std::uint64_t start = b.start(i);
        const unsigned char* bytes = b.bytes(i);
        const bool late = !keeping && n >= maxwords;
        const std::size_t size = late ? latesize(start - last) : 5 + (keeping ? length : offsetbytes(start - last));
        // Once the table is full, few of the words that make records stay in
        // it, and the words kept are those of the records most likely
        // printed: from then on records go to the temporary file sooner
        // rather than take their room, and keep no words of their own. Some
        // of the newest words make room for the file's buffer.
        if (n == maxwords && !keeping) {
            keep = false;
            for (; end + spillbuffer + largestrecord > from && kept > 0; --kept)
                from += 1 + std::size_t{store[from]};
            if (end + spillbuffer <= from) {
                fit = end;
                fitn = n;
            }
        }
        // Until then, a record that needs room takes it from the newest words.
        for (; n < maxwords && end + size > from && kept > 0; --kept) {
            from += 1 + std::size_t{store[from]};
            keep = false;
        }
        ++n;
        if (end + size > from) {
            filled = end;
            fits = fit;
            fitcount = fitn;
            if (!spillstore())
                return false;
            end = filled;
        }
        const std::uint64_t number = n - 1;
        if (number % markevery == 0 && number < maxwords)
            marks[number / markevery] = Place{end, last, from, number};
        unsigned char* r = store + end;
        if (late) {
            putlate(r, b.hashes[i], static_cast<unsigned>(length), start - last);
            last = start;
        } else {
            std::memcpy(r, &b.hashes[i], 4);
            r[4] = static_cast<unsigned char>(length);
            if (keeping) {
                std::memcpy(r + 5, bytes, length);
            } else {
                std::uint64_t difference = start - last;
                for (r += 5; difference >= 0x80; difference >>= 7)
                    *r++ = static_cast<unsigned char>(difference | 0x80);
                *r = static_cast<unsigned char>(difference);
                last = start;
            }
        }
        end += size;
        if (end + spillbuffer <= from) {
            fit = end;
            fitn = n;
        }
        if (keep && end + 1 + length <= from) {
            from -= 1 + length;
            store[from] = static_cast<unsigned char>(length);
            std::memcpy(store + from + 1, bytes, length);
            ++kept;
        } else {
            keep = false;
        }
    }
    filled = end;
    fits = fit;
    fitcount = fitn;
    wordsfrom = from;
    lastoffset = last;
    keptwords = kept;
    noted = n;
    caching = keep;
    return true;
}

// The words kept begin at the end of the store, past its last whole huge
// page, where each 4 KiB they reach would take a page fault of its own: some
// 150 of them on a large vocabulary, in whichever thread records. So the
// memory below the words is committed a stretch at a time, ahead of them.
void Records::commitwords(std::size_t from)
{
    constexpr std::size_t ahead = std::size_t{64} << 10;
    const std::size_t hugeend = room / hugepage * hugepage;
    if (wordscommitted <= hugeend || from >= wordscommitted + ahead)
        return;
    const std::size_t lowest = std::max(hugeend, from - std::min(from, 2 * ahead));
    commitpages(store + lowest, wordscommitted - lowest);
    wordscommitted = lowest;
}
