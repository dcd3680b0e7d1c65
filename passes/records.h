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

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "passes/scanner.h"
#include "io/hugepages.h"
#include "table/table.h"
#include "words/wordreader.h"

// A record as it comes back: the word's hash, length and offset and, if its
// bytes were kept, where they are, or else a null pointer. They stay there
// until the run ends, in the records' storage, or, where reading on would
// overwrite them, copied into the record itself, `copy`.
struct Record {
    Word word;
    const unsigned char* bytes;
    unsigned char copy[maxwordlen];
};

// A record is the hash and the length, then either the word's bytes or its
// offset, less the offset of the record before, which is never negative,
// since records come in input order, and small; `recordbytes.h` lays them out.
//
// All zero until started, so that a static one costs nothing in the binary.
class Records {
public:
    // Starts an empty set of records that keep each word's bytes when
    // `keepwords` is set, else its offset; for a `large` input, in huge pages,
    // with the words kept beside the offsets while there is room. A run on
    // more than one thread has more room for them.
    void start(bool keepwords, bool large, int threads);

    // Notes, in order, the words of `b` that created an entry: those at
    // b.created[0] to b.created[b.made - 1]. Returns false with errno set if
    // the temporary file cannot be made or written.
    bool record(const Batch& b);

    // Gets the records back in the order they were noted: call rewind() once
    // after the last record(), then next() until it returns 0. It passes
    // over every record for which `wanted`, given the record's number
    // (counted from 0) and hash, is false, and returns 1 with the next record
    // wanted, 0 after the last, and -1 with errno set when the temporary file
    // cannot be read. rewind() returns false with errno set when it cannot be
    // written.
    using Wanted = bool (*)(std::uint64_t number, std::uint32_t hash);
    bool rewind();
    int next(Record& record, Wanted wanted);

    // A place among the records: where the next one begins, its number, and
    // what reading it needs of those before it.
    struct Place {
        std::size_t at = 0;           // in `store`
        std::uint64_t lastoffset = 0; // of the record before
        std::size_t nextword = 0;     // where its word ends, if it is kept
        std::uint64_t number = 0;
    };

    // Where next() goes on, and a place ahead of it (from peek()) at which
    // it is to go on instead, passing over the records before.
    Place place() const { return reading; }
    void moveto(const Place& p) { reading = p; }

    // A place at or before record `number`, which is below withwords(), from
    // which peek() soon reaches it: one of those noted every `markevery`
    // records as they were made, so that another thread need not read its
    // way there from the first (1.3 ms of pass two's second thread on the
    // table-filling corpus).
    Place placebefore(std::uint64_t number) const { return marks[number / markevery]; }

    // The records that lie in the store with their words, counted from the
    // first: those kept there, and of them, with the words held, all, else
    // those whose words are kept.
    std::uint64_t withwords() const
    {
        const std::uint64_t stored = spilling ? heldcount : noted;
        return keeping ? stored : std::min(stored, keptwords);
    }

    // For another thread, while next() reads the records before `p`: puts
    // the record at `p` in `record`, with its word, and moves `p` past it, if
    // its number is below `until` and it lies whole in the store with its
    // word; else returns false. Every record is taken, wanted or not.
    bool peek(Place& p, std::uint64_t until, Record& record) const;

private:
    // Puts the record at `p` in `record` and moves `p` past it.
    void decode(Place& p, Record& record) const;

    // next() for records of offsets past the words kept, as far as whole
    // records lie in the store: true with the next wanted one in `record`.
    bool passover(Record& record, Wanted wanted);

    // Records the words of `b` from b.created[k] on as single units, moving
    // `end` and `last` on, up to the first that needs a jump or would end
    // past `limit`; returns the place of that one, or b.made.
    std::uint32_t putunits(const Batch& b, std::uint32_t k, std::size_t limit, std::size_t& end, std::uint64_t& last);
    void commitwords(std::size_t from);
    bool spillstore();
    bool refill();

    // Room for the records of every entry a table that never fills creates,
    // at 11 bytes each, as much as a record takes whose word lies up to 4
    // TiB past the one before. (At 12 bytes, a run on one thread that fills
    // the table took 16 MiB and a few KiB more in some runs, the pages of
    // the C library it had mapped varying by 150 KiB from run to run.) A run
    // on more threads may take 12 MiB more for each, and has 8 MiB more
    // here, beside the reader's blocks and the 2 MiB in which pass two's
    // second thread prints: on a table that fills, where most words are new,
    // that keeps the records of some 1.4 million more of them out of the
    // temporary file, whose writing and reading back took 7% of such a run
    // (measured). Once records go to the temporary file, the records that
    // fit before the last `spillbuffer` bytes free of words stay here, the
    // first to be read back, and those bytes are the file's write buffer; in
    // the second pass the store is its read buffer, up to the words kept.
    //
    // Records that hold offsets fill it from the front, and the words of the
    // first of them fill it from the back, each word after its length, the
    // first word last. A record that needs room takes it from the newest
    // words; after that no word is kept, so the words kept are always those
    // of the first `keptwords` records.
    static constexpr std::size_t oneroom = std::size_t{maxwords} * 11;
    static constexpr std::size_t moreroom = std::size_t{8} << 20;
    static constexpr std::size_t spillbuffer = std::size_t{256} << 10;
    alignas(hugepage) unsigned char store[oneroom + moreroom]{};
    std::size_t room = 0;          // bytes of `store` this run uses
    std::uint64_t lastoffset = 0;  // of the record written or read last
    std::size_t filled = 0;        // bytes of records in `store`
    std::size_t held = 0;          // of them, those that never go to the temporary file
    std::size_t fits = 0;          // the end of the last record that ends before the buffer
    std::uint64_t heldcount = 0;   // records in the first `held` bytes
    std::uint64_t fitcount = 0;    // records in the first `fits` bytes
    std::size_t wordsfrom = 0;     // where the words kept begin
    std::size_t wordscommitted = 0; // from where on the memory of the words is committed
    std::uint64_t keptwords = 0;   // records whose words are kept at the back
    std::uint64_t noted = 0;       // records noted so far
    bool keeping = false;          // every record holds its word, not its offset
    bool caching = false;          // the words of new records may still be kept
    bool spilling = false;         // whether records have gone to the temporary file,
    int spill = 0;                 // open as this
    static constexpr std::uint64_t markevery = 1 << 14;
    Place marks[maxwords / markevery + 1];
    // Where next() goes on: written at every record, on a cache line of its
    // own, so that the thread that peeks, reading the members above, does
    // not wait for it to come over from the other core each time.
    alignas(64) Place reading;
};
