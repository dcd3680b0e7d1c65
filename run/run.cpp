#include "run/run.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "io/input.h"
#include "io/output.h"
#include "passes/passone.h"
#include "passes/passtwo.h"
#include "table/table.h"
#include "words/word.h"

namespace {

constexpr int defaultminwordlen = 3;
constexpr std::int32_t defaultmincount = 10;

// What a run keeps in static storage: the block through which pass two reads
// words again, and the records of first occurrences that lead it to them.
struct Storage {
    unsigned char block[blockbytes]{};
    Records records;
};
constinit Storage storage;

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

} // namespace

int run(int argc, char** argv)
{
    // A reader that stops early (| head) ends the run quietly, whatever the
    // parent left SIGPIPE set to.
    std::signal(SIGPIPE, SIG_DFL);

    const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
    if (help || (argc == 2 && std::strcmp(argv[1], "--version") == 0)) {
        if (help)
            printusage(argv[0], maxwords);
        else
            printversion();
        flushoutput();
        return 0;
    }
    if (argc < 2 || argc > 4) {
        printusage(argc > 0 ? argv[0] : "tallvik", maxwords);
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
        printusage(argv[0], maxwords);
        flushoutput();
        fail("cannot open", name, err);
    }
    Input in;
    attachinput(in, fd, storage.block, sizeof storage.block);

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
    storage.records.start(keepwords, large, settings.threads);
    const std::uint64_t words = countwords(in, name, settings, storage.records);
    const std::int32_t distinct = tablesize();
    printwords(in, name, settings.mincount, settings.threads > 1, storage.records);

    printsummary(words, settings.minwordlen, distinct);
    flushoutput();
    closeinput(in);
    if (distinct == maxwords) {
        warnfulltable(maxwords);
        return 1;
    }
    return 0;
}
