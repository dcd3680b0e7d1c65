#include "passes/passtwo.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "io/output.h"
#include "passes/cores.h"
#include "passes/printahead.h"
#include "table/table.h"
#include "words/wordreader.h"

namespace {

// The word of a record, read again from the file; it must still be the word
// that was counted there.
const unsigned char* refetch(Input& in, const Word& w, const char* name)
{
    const auto length = static_cast<std::size_t>(w.length);
    const unsigned char* word = fetch(in, w.start, length);
    if (word != nullptr && wordbytes::hashbytes(word, length) == w.hash)
        return word;
    flushoutput();
    if (in.readerror != 0)
        fail("cannot read", name, in.readerror);
    fail("cannot read", name, "the file changed after its words were counted");
}

// A record made once the table was full, most records of a large
// vocabulary, is worth a lookup only if its word may have stayed.
bool mayprint(std::uint64_t record, std::uint32_t hash)
{
    return record < maxwords || mayhavejoinedlate(hash);
}

// Each word counted at least `mincount` times is printed at its first
// occurrence, and only there: a word whose entry could be found again at a
// later record is dropped once printed (see below). The records lead
// straight to those occurrences, and once all of them are printed nothing
// more can be.
//
// The records come a chunk at a time: every entry of the chunk is
// prefetched, then looked up, then printed, so that the lookups, which miss
// the cache at almost every record of a table that fills, overlap one
// another and not the printing. That took a tenth off this pass on the
// table-filling corpus, against prefetching each entry sixteen records
// before its lookup and printing it right after (measured on an AMD EPYC).
class Printer {
public:
    Printer(Input& input, const char* inputname, std::uint32_t least, Records& r)
        : in(input), name(inputname), mincount(least), records(r), left(wordsatleast(least))
    {
    }

    // Whether any word is left to print.
    bool busy() const { return left > 0; }

    // Prints the words of the records before number `until`, which is at
    // most `maxwords`, or of all records. While `deferring`, a word to drop
    // is noted instead, and a full note stops the printing early.
    void printupto(std::uint64_t until)
    {
        while (left > 0 && !(deferring && ndeferred + chunk > PrintAhead::maxdrops)) {
            std::size_t n = 0;
            for (; n < chunk && more && done + n < until; ++n) {
                const int got = records.next(batch[n], mayprint);
                if (got < 0)
                    fail("cannot read the temporary file for", name, errno);
                if (!(more = got > 0))
                    break;
                expectword(batch[n].word.hash);
            }
            if (n == 0)
                return;
            for (std::size_t k = 0; k < n; ++k)
                counts[k] = findword(batch[k].word.hash);
            bool dropped = false;
            for (std::size_t k = 0; k < n && left > 0; ++k)
                dropped |= printrecord(batch[k], dropped ? findword(batch[k].word.hash) : counts[k]);
            done += n;
        }
    }

    // Whether every record before `number` is done.
    bool reached(std::uint64_t number) const { return done == number; }

    // Takes over what `helper`, which has ended, did from the record this
    // printer is at: prints its lines, drops its words to drop, and goes on
    // after its records.
    void takeover(const PrintAhead& helper, const PrintAhead::Done& did)
    {
        if (did.after.number <= done)
            return;
        printlines(helper.lines(), did.used);
        left -= did.words;
        for (std::size_t k = 0; k < did.dropped; ++k)
            dropword(helper.drops()[k]);
        records.moveto(did.after);
        done = did.after.number;
    }

    void startdeferring() { deferring = true; }

    // Drops the words noted, once the helper has ended, and drops from now
    // on as it prints.
    void dropnoted()
    {
        for (std::size_t k = 0; k < ndeferred; ++k)
            dropword(deferred[k]);
        deferring = false;
    }

private:
    // Prints the word of `p` if its `count` is enough; returns whether it
    // dropped it.
    bool printrecord(const Record& p, std::uint32_t count)
    {
        if (count < mincount)
            return false;
        printcount(count, p.bytes != nullptr ? p.bytes : refetch(in, p.word, name), p.word.length);
        --left;
        // The first `maxwords` records hold distinct hashes, and a later
        // one is looked up only if its word may have joined late: only
        // such a word can be found again, and must be dropped.
        if (!mayhavejoinedlate(p.word.hash))
            return false;
        if (deferring) {
            deferred[ndeferred++] = p.word.hash;
            return false;
        }
        dropword(p.word.hash);
        return true;
    }

    static constexpr std::size_t chunk = 64;
    Input& in;
    const char* name;
    std::uint32_t mincount;
    Records& records;
    std::int32_t left;
    Record batch[chunk];
    std::uint32_t counts[chunk];
    std::uint64_t done = 0; // records read, all wanted below `maxwords`
    bool more = true;
    bool deferring = false;
    std::size_t ndeferred = 0;
    std::uint32_t deferred[PrintAhead::maxdrops];
};

PrintAhead helper;

// Fewer records than this are not worth a thread: the thread, and the page
// it prints into, cost more than it saved on 100000 distinct words.
constexpr std::uint64_t fewestahead = 1 << 16;

} // namespace

void printwords(Input& in, const char* name, std::uint32_t mincount, bool threads, Records& records)
{
    Printer printer(in, name, mincount, records);
    if (printer.busy() && !records.rewind())
        fail("cannot write a temporary file for", name, errno);
    const std::uint64_t withwords = std::min<std::uint64_t>(records.withwords(), maxwords);
    if (printer.busy() && threads && withwords >= 2 * fewestahead && corespare()) {
        // The helper starts a little later than the calling thread, and
        // takes a little longer over each record: so it takes less than
        // half, about as much as it finishes by the time the calling thread
        // gets to its first (measured on the AMD EPYC).
        const std::uint64_t split = withwords * 14 / 25;
        if (helper.start(records, records.placebefore(split), split, maxwords, mincount)) {
            printer.startdeferring();
            printer.printupto(split);
            const PrintAhead::Done did = helper.stop();
            if (printer.reached(split))
                printer.takeover(helper, did);
            printer.dropnoted();
        }
    }
    printer.printupto(UINT64_MAX);
}
