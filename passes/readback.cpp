// Reading the records back, in pass two: from the store, which the
// temporary file refills once records went there, or, for another thread,
// from a place ahead in the store.
#include "passes/records.h"

#include <cstring>
#include <unistd.h>

#include "io/uninterrupted.h"
#include "passes/recordbytes.h"

using namespace recordbytes;

// Moves the unread rest of `store` to its front and fills it up from the
// temporary file, up to the words kept.
bool Records::refill()
{
    std::memmove(store, store + reading.at, filled - reading.at);
    filled -= reading.at;
    reading.at = 0;
    while (filled < wordsfrom) {
        const ssize_t got = uninterrupted([&] { return read(spill, store + filled, wordsfrom - filled); });
        if (got <= 0)
            return got == 0;
        filled += static_cast<std::size_t>(got);
    }
    return true;
}

bool Records::rewind()
{
    reading = Place{0, 0, room, 0};
    return !spilling || (spillstore() && lseek(spill, 0, SEEK_SET) == 0);
}

// The records of offsets past the words kept, most records of a table that
// fills and most of them passed over, are read with the state in registers
// while whole records lie ahead: written back to memory for each record, the
// second pass over the log corpus took 13% longer (measured).
bool Records::passover(Record& record, Wanted wanted)
{
    std::size_t from = reading.at;
    std::uint64_t last = reading.lastoffset, number = reading.number;
    bool found = false;
    while (!found && filled - from >= largestrecord) {
        const unsigned char* r = store + from;
        std::uint32_t hash;
        int length;
        if (number < maxwords) {
            std::memcpy(&hash, r, 4);
            length = r[4];
            r += 5;
            last += readdifference(r);
            from = static_cast<std::size_t>(r - store);
        } else {
            from += lateunit;
            if ((length = takeunit(r, hash, last)) == 0)
                continue;
        }
        if ((found = wanted(number++, hash))) {
            record.word = Word{hash, length, last};
            record.bytes = nullptr;
        }
    }
    reading.at = from;
    reading.lastoffset = last;
    reading.number = number;
    return found;
}

void Records::decode(Place& p, Record& record) const
{
    record.bytes = nullptr;
    if (!keeping && p.number >= maxwords) {
        int length;
        do {
            length = takeunit(store + p.at, record.word.hash, p.lastoffset);
            p.at += lateunit;
        } while (length == 0);
        record.word.length = length;
        record.word.start = p.lastoffset;
        ++p.number;
        return;
    }
    const unsigned char* r = store + p.at;
    std::memcpy(&record.word.hash, r, 4);
    const auto length = static_cast<std::size_t>(r[4]);
    r += 5;
    if (keeping) {
        record.bytes = r;
        r += length;
    } else {
        p.lastoffset += readdifference(r);
        // The store is never refilled over the words kept.
        if (p.number < keptwords) {
            p.nextword -= 1 + length;
            record.bytes = store + p.nextword + 1;
        }
    }
    p.at = static_cast<std::size_t>(r - store);
    ++p.number;
    record.word.length = static_cast<int>(length);
    record.word.start = keeping ? 0 : p.lastoffset;
}

// The records before `p` are left to next(), which refills the store only
// once it has read up to the last whole record there: so a record that lies
// whole before that stays put until next() has read it.
bool Records::peek(Place& p, std::uint64_t until, Record& record) const
{
    if (p.number >= until || filled - p.at < largestrecord || p.number >= withwords())
        return false;
    decode(p, record);
    return true;
}

int Records::next(Record& record, Wanted wanted)
{
    // The records passed over are never copied out: on a table that fills
    // they are most of them.
    for (;;) {
        if (spilling && filled - reading.at < largestrecord && !refill())
            return -1;
        if (!keeping && reading.number >= keptwords && filled - reading.at >= largestrecord) {
            if (passover(record, wanted))
                return 1;
            continue;
        }
        if (reading.at == filled)
            return 0;
        decode(reading, record);
        if (!wanted(reading.number - 1, record.word.hash))
            continue;
        // Reading on from a temporary file refills the store under the records read.
        if (keeping && spilling) {
            std::memcpy(record.copy, record.bytes, static_cast<std::size_t>(record.word.length));
            record.bytes = record.copy;
        }
        return 1;
    }
}
