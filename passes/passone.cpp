#include "passes/passone.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include "passes/handoff.h"
#include "io/output.h"
#include "io/progress.h"
#include "passes/ranges.h"
#include "passes/records.h"
#include "passes/scanner.h"
#include "table/table.h"

namespace {

constexpr int maxthreads = 4;
constexpr int maxreaders = maxthreads - 1;

// A reader's batches on their way to the counter. The reader fills
// batches[k % ringsize] with its k-th batch, the counter empties them in the
// same order, and each counts the batches it is done with; a thread with
// nothing to do waits on the other's count. Four blocks are enough that
// neither side often waits, and few enough to stay in the cache.
constexpr std::uint32_t ringsize = 4;
struct Ring {
    Batch batches[ringsize];
    Count filled, emptied;
};

static_assert(Batch::capacity <= 65536, "a word's place in a batch must fit 16 bits");

// What pass one keeps while it runs, handed to each of its threads.
struct PassOne {
    Ring rings[maxreaders];
    Scanner scanners[maxreaders];
    Ranges ranges{};
    const char* inputname = nullptr;
    const Kernels* kernels = nullptr;
    Records* records = nullptr;
    std::uint64_t counted = 0;
    bool showing = false;  // progress
    int recordfailure = 0; // errno of the reader's first record that failed
};

// All zero, so that its 2 MB of batches stay out of the binary and a run
// commits only the pages it uses: one thread uses one batch of twelve.
constinit PassOne pass;

// A reading thread's part.
struct Reader {
    PassOne* pass;
    int index; // of its ring and scanner
};

void countbatch(PassOne& p, Batch& b)
{
    hashbatch(b, *p.kernels);
    b.made = addwords(b.hashes, b.words, b.created);
    p.counted += b.words;
    if (p.showing)
        showprogress(b.blockstart + b.size);
    if (b.last && b.readerror != 0)
        fail("cannot read", p.inputname, b.readerror);
}

// Records the words of `b` that created an entry, once. Returns false with
// errno set if a record cannot be written.
bool recordbatch(PassOne& p, Batch& b)
{
    const bool done = p.records->record(b);
    b.made = 0;
    return done;
}

void recordorfail(PassOne& p, Batch& b)
{
    if (!recordbatch(p, b))
        fail("cannot write a temporary file for", p.inputname, errno);
}

void recordbehind(PassOne& p, Batch& b)
{
    if (p.recordfailure == 0 && !recordbatch(p, b))
        p.recordfailure = errno;
}

// One thread: each block's words are counted and recorded before the next
// block is read into the same batch.
void countalone(PassOne& p, const Input& in)
{
    Scanner& s = p.scanners[0];
    Batch& b = p.rings[0].batches[0];
    s.begin(in);
    for (bool more = true; more;) {
        more = s.scan(b);
        countbatch(p, b);
        recordorfail(p, b);
    }
}

// Hands batch k of `r` to the counter. Hashing goes to whichever thread has
// time: the reader hashes a batch itself when more than half its ring waits
// for the counter, and leaves it to the counter otherwise. Text of common
// words keeps the reader busy, a large vocabulary or a full table the
// counter. (With a lower threshold the reader hashed in bursts while the
// counter spun, a tenth of its time.)
void passon(PassOne& p, Ring& r, std::uint32_t k)
{
    Batch& b = r.batches[k % ringsize];
    if (k + 1 - r.emptied.done.load(std::memory_order_relaxed) > ringsize / 2)
        hashbatch(b, *p.kernels);
    advance(r.filled, k + 1);
}

// The one reader of the whole input. The records are its work rather than
// the counter's: on a large vocabulary the counter has the most to do, so
// the reader records each batch, in order, as it takes the batch back to
// fill. (Several readers would record out of order, and leave it to the
// counter.)
void* readandrecord(void* reader)
{
    PassOne& p = *static_cast<Reader*>(reader)->pass;
    Ring& r = p.rings[0];
    std::uint32_t k = 0;
    for (bool more = true; more; ++k) {
        // Batch k may be filled once batch k - ringsize has been emptied.
        waitfor(r.emptied, k + 1 - ringsize);
        Batch& b = r.batches[k % ringsize];
        recordbehind(p, b);
        // A record that failed fails the run: reading on would only make the
        // user wait longer for the message.
        if (p.recordfailure != 0) {
            endearly(b);
            more = false;
        } else {
            more = p.scanners[0].scan(b);
        }
        passon(p, r, k);
    }
    // The batches still out are recorded once counted, oldest first.
    waitfor(r.emptied, k);
    for (std::uint32_t j = 0; j < ringsize; ++j)
        recordbehind(p, r.batches[(k + j) % ringsize]);
    return nullptr;
}

// A reader of ranges r, r + readers, ..., each a run of batches of which the
// last is marked so; the last range reads on to the end of the file.
void* readranges(void* reader)
{
    PassOne& p = *static_cast<Reader*>(reader)->pass;
    const int index = static_cast<Reader*>(reader)->index;
    Ring& r = p.rings[index];
    Scanner& s = p.scanners[index];
    std::uint32_t k = 0;
    for (auto range = static_cast<std::uint32_t>(index); range < p.ranges.count;
         range += static_cast<std::uint32_t>(p.ranges.readers)) {
        Input in;
        openrange(p.ranges, range, in);
        s.begin(in);
        for (bool more = true; more; ++k) {
            waitfor(r.emptied, k + 1 - ringsize);
            more = s.scan(r.batches[k % ringsize]);
            passon(p, r, k);
        }
    }
    return nullptr;
}

// Counts the batches of `r` up to the last of a range, and records them too
// where several readers share the input.
void countring(PassOne& p, Ring& r, bool record)
{
    for (bool last = false; !last;) {
        const std::uint32_t k = r.emptied.done.load(std::memory_order_relaxed);
        waitfor(r.filled, k + 1);
        Batch& b = r.batches[k % ringsize];
        // A batch left to be hashed here has its block in the reader's
        // cache, and the hash kernels read it out of order, each read a
        // wait; a pass in order first has the lines on their way while the
        // words are sorted.
        if (!b.hashed)
            for (std::size_t at = 0; at < b.size; at += 64)
                __builtin_prefetch(b.data + at);
        countbatch(p, b);
        if (record)
            recordorfail(p, b);
        last = b.last;
        advance(r.emptied, k + 1);
    }
}

// The calling thread counts, in input order, what one reader, or several
// taking turns over ranges of a file, hand it.
void countbehindreaders(PassOne& p, const Input& in)
{
    const int readers = p.ranges.readers;
    pthread_t threads[maxreaders];
    Reader parts[maxreaders];
    int started = 0;
    p.recordfailure = 0;
    if (readers == 1)
        p.scanners[0].begin(in);
    for (int r = 0; r < readers; ++r) {
        p.rings[r].filled.done = 0;
        p.rings[r].emptied.done = 0;
        parts[r] = {&p, r};
        if (pthread_create(&threads[r], nullptr, readers > 1 ? readranges : readandrecord, &parts[r]) != 0)
            break;
        ++started;
    }
    if (started < readers) {
        // No thread to spare: those started are stopped by the end of the
        // process, and everything is read here instead.
        if (started > 0)
            fail("cannot start a thread for", p.inputname, EAGAIN);
        return countalone(p, in);
    }
    for (std::uint32_t k = 0; k < p.ranges.count; ++k)
        countring(p, p.rings[k % static_cast<std::uint32_t>(readers)], readers > 1);
    for (int r = 0; r < readers; ++r)
        pthread_join(threads[r], nullptr);
    if (p.recordfailure != 0)
        fail("cannot write a temporary file for", p.inputname, p.recordfailure);
}

} // namespace

int passonethreads(bool large)
{
    if (const char* set = std::getenv("TALLVIK_THREADS"); set != nullptr && std::atoi(set) >= 1)
        return std::min(std::atoi(set), maxthreads);
    if (!large)
        return 1;
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) != 0)
        return 1;
    return std::max(1, std::min(CPU_COUNT(&cores), maxthreads));
}

std::uint64_t countwords(const Input& in, const char* name, const Settings& settings, Records& records)
{
    PassOne& p = pass;
    p.inputname = name;
    p.records = &records;
    p.counted = 0;
    p.kernels = &kernels(settings.kernel);
    for (Scanner& s : p.scanners) {
        s.kernels = p.kernels;
        s.minwordlen = settings.minwordlen;
    }
    const std::uint64_t size = inputsize(in);
    p.showing = startprogress(size);
    // Ranges need a file read from its start, at any offset.
    int readers = std::max(1, settings.threads - 1);
    if (size == 0 || lseek(in.fd, 0, SEEK_CUR) != 0)
        readers = 1;
    p.ranges = cutranges(in.fd, size, readers);
    if (settings.threads > 1)
        countbehindreaders(p, in);
    else
        countalone(p, in);
    endprogress();
    return p.counted;
}
