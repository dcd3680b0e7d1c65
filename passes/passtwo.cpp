#include "passes/passtwo.h"

#include <cerrno>
#include <cstdint>

#include "io/output.h"
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

} // namespace

// Each word counted at least `mincount` times is printed at its first
// occurrence, and only there: a word whose entry could be found again at a
// later record is dropped once printed (see below). The records lead
// straight to those occurrences, and once all of them are printed nothing
// more can be. As in pass one, each record's entry is prefetched `recordsahead`
// records before it is looked up; records whose word was counted too few
// times are most of them. Sixteen ahead, about as many misses as a core
// keeps in flight, took a tenth off this pass on the table-filling corpus
// with two threads and 4% with one, against sixty-four (measured on an
// Intel Xeon).
void printwords(Input& in, const char* name, std::uint32_t mincount, Records& records)
{
    std::int32_t left = wordsatleast(mincount);
    if (left > 0 && !records.rewind())
        fail("cannot write a temporary file for", name, errno);
    constexpr std::uint64_t recordsahead = 16;
    Record ahead[recordsahead];
    std::uint64_t read = 0;
    bool more = true;
    for (std::uint64_t done = 0; left > 0; ++done) {
        for (; more && read < done + recordsahead; ++read) {
            Record& next = ahead[read % recordsahead];
            const int got = records.next(next, mayprint);
            if (got < 0)
                fail("cannot read the temporary file for", name, errno);
            if (!(more = got > 0))
                break;
            expectword(next.word.hash);
        }
        if (done == read)
            break;
        const Record& p = ahead[done % recordsahead];
        if (const std::uint32_t count = findword(p.word.hash); count >= mincount) {
            printcount(count, p.bytes != nullptr ? p.bytes : refetch(in, p.word, name), p.word.length);
            // The first `maxwords` records hold distinct hashes, and a later
            // one is looked up only if its word may have joined late: only
            // such a word can be found again, and must be dropped.
            if (mayhavejoinedlate(p.word.hash))
                dropword(p.word.hash);
            --left;
        }
    }
}
