#include "run.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "input.h"
#include "progress.h"
#include "table/table.h"
#include "wordreader.h"

namespace {

constexpr int defaultminwordlen = 3;
constexpr std::int32_t defaultmincount = 10;
constexpr unsigned long advertisedkb = 3126;

unsigned char block[1 << 17];
unsigned char wordbuf[maxwordlen + 2];
unsigned char outbuf[1 << 16];
std::size_t outlen;

[[noreturn]] void fail(const char* what, const char* name, int err)
{
    endprogress();
    if (name != nullptr)
        std::fprintf(stderr, "tallvik: %s '%s': %s\n", what, name, std::strerror(err));
    else
        std::fprintf(stderr, "tallvik: %s: %s\n", what, std::strerror(err));
    std::exit(2);
}

// Standard output goes through one fixed buffer; a failed write ends the run,
// since every later line would be lost too.
void flushoutput()
{
    if (outlen == 0)
        return;
    endprogress(); // lines on a terminal must not run into the progress line
    const unsigned char* bytes = outbuf;
    std::size_t left = outlen;
    outlen = 0;
    while (left > 0) {
        const ssize_t put = write(STDOUT_FILENO, bytes, left);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            fail("cannot write standard output", nullptr, put < 0 ? errno : EIO);
        bytes += put;
        left -= static_cast<std::size_t>(put);
    }
}

void output(const void* bytes, std::size_t size)
{
    const auto* from = static_cast<const unsigned char*>(bytes);
    while (size > 0) {
        if (outlen == sizeof outbuf)
            flushoutput();
        const std::size_t room = sizeof outbuf - outlen;
        const std::size_t n = size < room ? size : room;
        std::memcpy(outbuf + outlen, from, n);
        outlen += n;
        from += n;
        size -= n;
    }
}

template <typename... Values>
void outputf(const char* format, Values... values)
{
    char text[512];
    const int n = std::snprintf(text, sizeof text, format, values...);
    output(text, std::min(static_cast<std::size_t>(n), sizeof text - 1));
}

void outputcount(std::uint32_t count, const unsigned char* word)
{
    // "%8lu %s\n" without printf's parsing on every line.
    char digits[10];
    int d = 0;
    do {
        digits[d++] = static_cast<char>('0' + count % 10);
        count /= 10;
    } while (count != 0);
    char line[8 + 1 + maxwordlen + 1];
    int n = 0;
    for (int pad = d; pad < 8; ++pad)
        line[n++] = ' ';
    while (d > 0)
        line[n++] = digits[--d];
    line[n++] = ' ';
    for (const unsigned char* c = word; *c != 0; ++c)
        line[n++] = static_cast<char>(*c);
    line[n++] = '\n';
    output(line, static_cast<std::size_t>(n));
}

void outputusage(const char* program)
{
    outputf("tallvik %s \u2014 word frequencies in constant memory \u2014 (c) 2026 the tallvik authors\n",
            TALLVIK_VERSION);
    outputf("it will count the frequency of up to %i different words using a constant amount of about "
            "%lukb of internal memory in up to eight decimal digits and should crash or buffer "
            "overflow/underrun under no condition I can currently think of. ",
            static_cast<int>(maxwords), advertisedkb);
    static const char middle[] =
        "it could probably run a lot faster though under very sub-optimal conditions like loads of "
        "different words with a very homogeneous distribution. it also ignores character sets and "
        "assumes octets for those sets. Have as much fun abusing and using it as I had coding it!\n\n"
        "use as '";
    output(middle, sizeof middle - 1);
    output(program, std::strlen(program));
    static const char tail[] = " [file] [[minwordlen] [[mincount]]]'\n";
    output(tail, sizeof tail - 1);
}

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

void settleminwordlen(int argc, char** argv)
{
    minwordlen = argc > 2 ? readnumber(argv[2]) : 0;
    if (minwordlen <= 0 || minwordlen > maxwordlen) {
        minwordlen = defaultminwordlen;
        outputf("defaulting to a word length between %i and %i chars\n\a", defaultminwordlen, maxwordlen);
    }
}

std::uint32_t settlemincount(int argc, char** argv)
{
    std::int32_t mincount = argc > 3 ? readnumber(argv[3]) : 0;
    if (mincount <= 0) {
        mincount = defaultmincount;
        outputf("defaulting to a minimum of %lu occurances of each word\n\a",
                static_cast<unsigned long>(defaultmincount));
    }
    return static_cast<std::uint32_t>(mincount);
}

// Reads the next word into wordbuf and its hash into `h`; false once the
// input is used up. The last word of a file that ends without a separator
// comes with end of input.
bool nextword(Input& in, wordhash& h)
{
    const int last = readword(in, wordbuf, maxwordlen, h);
    return last >= 0 || wordbuf[0] != 0;
}

// Progress, where shown, follows the blocks as they are read.
void startpass(Input& in, int pass)
{
    in.onblock = startprogress(pass, inputsize(in)) ? showprogress : nullptr;
}

std::uint64_t countwords(Input& in, const char* name)
{
    startpass(in, 1);
    // A large vocabulary spreads over megabytes of table, and most adds would
    // wait for memory. So each word's place is prefetched as it is read and
    // the word is added `lookahead` words later, in the same order, by which
    // time its cache line has arrived.
    constexpr std::uint64_t lookahead = 16;
    wordhash pending[lookahead];
    std::uint64_t words = 0;
    wordhash h;
    while (nextword(in, h)) {
        expectword(h);
        wordhash& slot = pending[words % lookahead];
        if (words >= lookahead)
            addword(slot);
        slot = h;
        ++words;
    }
    for (std::uint64_t w = words > lookahead ? words - lookahead : 0; w < words; ++w)
        addword(pending[w % lookahead]);
    endprogress();
    if (in.copyerror != 0)
        fail("cannot make a temporary copy of", name, in.copyerror);
    if (in.readerror != 0)
        fail("cannot read", name, in.readerror);
    return words;
}

// Each word left in the table is printed where it first occurs, then
// dropped, so it is never printed twice. Once the table is empty nothing
// more can be printed and the rest of the file need not be read.
void printwords(Input& in, const char* name)
{
    if (tablesize() == 0)
        return;
    if (!rewindinput(in))
        fail("cannot rewind", name, errno);
    startpass(in, 2);
    wordhash h;
    while (tablesize() > 0 && nextword(in, h)) {
        if (const std::uint32_t count = findword(h)) {
            outputcount(count, wordbuf);
            dropword(h);
        }
    }
    endprogress();
    if (in.readerror != 0) {
        flushoutput();
        fail("cannot read", name, in.readerror);
    }
}

} // namespace

int run(int argc, char** argv)
{
    // A reader that stops early (| head) ends the run quietly, whatever the
    // parent left SIGPIPE set to.
    std::signal(SIGPIPE, SIG_DFL);

    if (argc < 2 || argc > 4) {
        outputusage(argc > 0 ? argv[0] : "tallvik");
        flushoutput();
        return 2;
    }
    const char* name = argv[1];
    const int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        outputusage(argv[0]);
        flushoutput();
        fail("cannot open", name, err);
    }
    Input in;
    if (!attachinput(in, fd, block, sizeof block))
        fail("cannot make a temporary copy of", name, errno);

    settleminwordlen(argc, argv);
    const std::uint32_t mincount = settlemincount(argc, argv);
    flushoutput();

    preparetable();
    const std::uint64_t words = countwords(in, name);
    const std::int32_t distinct = tablesize();
    prunewords(mincount);
    printwords(in, name);

    outputf("%" PRIu64 " words were counted which were larger than %i chars\nof these words %i seemed unique\n",
            words, minwordlen, distinct);
    flushoutput();
    closeinput(in);
    if (distinct == maxwords) {
        std::fprintf(stderr, "tallvik: the table filled up with %i distinct words; some counts may be incomplete\n",
                     static_cast<int>(maxwords));
        return 1;
    }
    return 0;
}
