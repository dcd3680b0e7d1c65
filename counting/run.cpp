#include "run.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "input.h"
#include "output.h"
#include "passone.h"
#include "records.h"
#include "table/table.h"
#include "wordreader.h"

namespace {

constexpr int defaultminwordlen = 3;
constexpr std::int32_t defaultmincount = 10;

unsigned char block[1 << 15];
// Pass one writes them, pass two reads them.
constinit Records records;

// The C library's atoi, but wrapping on overflow instead of being undefined:
// leading white space, one sign, then digits up to the first other byte.
std::int32_t readnumber(const char* text)
{
    const auto* c = reinterpret_cast<const unsigned char*>(text);
    while (*c == ' ' || (*c >= '\t' && *c <= '\r'))
        ++c;
    const bool negative = *c == '-';
    if (*c == '-' || *c == '+')
        ++c;
    std::uint32_t value = 0;
    for (; *c >= '0' && *c <= '9'; ++c)
        value = value * 10 + static_cast<std::uint32_t>(*c - '0');
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

int settleminwordlen(int argc, char** argv)
{
    const int minwordlen = argc > 2 ? readnumber(argv[2]) : 0;
    if (minwordlen > 0 && minwordlen <= maxwordlen)
        return minwordlen;
    printlengthnotice(defaultminwordlen, maxwordlen);
    return defaultminwordlen;
}

std::uint32_t settlemincount(int argc, char** argv)
{
    std::int32_t mincount = argc > 3 ? readnumber(argv[3]) : 0;
    if (mincount <= 0) {
        mincount = defaultmincount;
        printcountnotice(defaultmincount);
    }
    return static_cast<std::uint32_t>(mincount);
}

// The tier TALLVIK_KERNEL names, if it is set, else the fastest this
// processor runs. A tier it cannot run is an error, not a quiet fallback:
// whoever names one wants to know that it ran.
Kernel choosekernel()
{
    const Features features = processorfeatures();
    const char* name = std::getenv("TALLVIK_KERNEL");
    if (name == nullptr || *name == '\0')
        return bestkernel(features);
    Kernel kernel;
    if (!kernelnamed(name, kernel))
        fail("cannot use TALLVIK_KERNEL", name, "not one of portable, sse2, avx2, avx512, vbmi");
    if (!canrun(kernel, features))
        fail("cannot use TALLVIK_KERNEL", name, "this processor cannot run it");
    return kernel;
}

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
// more can be. As in pass one, each record's entry is prefetched `lookahead`
// records before it is looked up; records whose word was counted too few
// times are most of them. Sixteen ahead, about as many misses as a core
// keeps in flight, took a tenth off this pass on the table-filling corpus
// with two threads and 4% with one, against sixty-four (measured on an
// Intel Xeon).
void printwords(Input& in, const char* name, std::uint32_t mincount)
{
    std::int32_t left = wordsatleast(mincount);
    if (left > 0 && !records.rewind())
        fail("cannot write a temporary file for", name, errno);
    constexpr std::uint64_t lookahead = 16;
    Record ahead[lookahead];
    std::uint64_t read = 0;
    bool more = true;
    for (std::uint64_t done = 0; left > 0; ++done) {
        for (; more && read < done + lookahead; ++read) {
            Record& next = ahead[read % lookahead];
            const int got = records.next(next, mayprint);
            if (got < 0)
                fail("cannot read the temporary file for", name, errno);
            if (!(more = got > 0))
                break;
            expectword(next.word.hash);
        }
        if (done == read)
            break;
        const Record& p = ahead[done % lookahead];
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

} // namespace

int run(int argc, char** argv)
{
    // A reader that stops early (| head) ends the run quietly, whatever the
    // parent left SIGPIPE set to.
    std::signal(SIGPIPE, SIG_DFL);

    const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
    if (help || (argc == 2 && std::strcmp(argv[1], "--version") == 0)) {
        if (help)
            printusage(argv[0]);
        else
            printversion();
        flushoutput();
        return 0;
    }
    if (argc < 2 || argc > 4) {
        printusage(argc > 0 ? argv[0] : "tallvik");
        flushoutput();
        return 2;
    }
    const Kernel kernel = choosekernel();
    // "-" is standard input, as for every other text tool; "./-" names a file.
    const char* name = argv[1];
    const int fd =
        std::strcmp(name, "-") == 0 ? fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0) : open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        printusage(argv[0]);
        flushoutput();
        fail("cannot open", name, err);
    }
    Input in;
    attachinput(in, fd, block, sizeof block);

    Settings settings;
    settings.minwordlen = settleminwordlen(argc, argv);
    settings.mincount = settlemincount(argc, argv);
    settings.kernel = kernel;
    flushoutput();

    // A pipe is most often a large stream; a file says how large it is.
    const bool keepwords = !rereadable(in);
    const bool large = keepwords || inputsize(in) > (1u << 20);
    preparetable(large);
    settings.threads = passonethreads(large);
    records.start(keepwords, large, settings.threads);
    const std::uint64_t words = countwords(in, name, settings, records);
    const std::int32_t distinct = tablesize();
    printwords(in, name, settings.mincount);

    printsummary(words, settings.minwordlen, distinct);
    flushoutput();
    closeinput(in);
    if (distinct == maxwords) {
        warnfulltable();
        return 1;
    }
    return 0;
}
