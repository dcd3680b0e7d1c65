#include "passone.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include "handoff.h"
#include "output.h"
#include "progress.h"
#include "ranges.h"
#include "records.h"
#include "scanner.h"
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
// All zero from compile time on. Initialized at start-up, they had two
// pages of every batch written, some 100 KB that a run with one thread
// never uses.
constinit Ring rings[maxreaders];
constinit Scanner scanners[maxreaders];

Ranges ranges;

const char* inputname;
std::uint64_t counted;
const Kernels* chosen; // set before any thread starts
Records* notes;
bool showing;          // progress

static_assert(Batch::capacity <= 65536, "a word's place in a batch must fit 16 bits");

void countbatch(Batch& b)
{
    hashbatch(b, *chosen);
    b.made = addwords(b.hashes, b.words, b.created);
    counted += b.words;
    if (showing)
        showprogress(b.blockstart + b.size);
    if (b.last && b.readerror != 0)
        fail("cannot read", inputname, b.readerror);
}

// Records the words of `b` that created an entry, once. Returns false with
// errno set if a record cannot be written.
bool recordbatch(Batch& b)
{
    const bool done = notes->record(b);
    b.made = 0;
    return done;
}

void recordorfail(Batch& b)
{
    if (!recordbatch(b))
        fail("cannot write a temporary file for", inputname, errno);
}

// With one reader, the records are its work rather than the counter's: on a
// large vocabulary the counter has the most to do, and the reader records
// each batch, in order, as it takes the batch back to fill. Several readers
// would record out of order, and so leave it to the counter.
bool readerrecords() { return ranges.readers == 1; }
int recordfailure; // errno of the reader's first record that failed

void recordbehind(Batch& b)
{
    if (recordfailure == 0 && !recordbatch(b))
        recordfailure = errno;
}

// One thread: each block's words are counted before the next block is read
// into the same batch.
Batch* countnow(Scanner&, Batch* full)
{
    countbatch(*full);
    recordorfail(*full);
    return full;
}

// Hashing goes to whichever thread has time: the reader hashes a batch
// itself when more than half its ring waits for the counter, and leaves it
// to the counter otherwise. Text of common words keeps the reader busy, a
// large vocabulary or a full table the counter. (With a lower threshold the
// reader hashed in bursts while the counter spun, a tenth of its time.)
Batch* passon(Scanner& s, Batch* full)
{
    Ring& r = rings[s.ring];
    const std::uint32_t k = r.filled.done.load(std::memory_order_relaxed) + 1;
    if (k - r.emptied.done.load(std::memory_order_relaxed) > ringsize / 2)
        hashbatch(*full, *chosen);
    advance(r.filled, k);
    // Batch k may be filled once batch k - ringsize has been emptied.
    waitfor(r.emptied, k + 1 - ringsize);
    Batch& next = r.batches[k % ringsize];
    if (readerrecords()) {
        recordbehind(next);
        // A record that failed fails the run: reading on would only make
        // the user wait longer for the message.
        s.stop = recordfailure != 0;
        // The batches still out are recorded once counted, oldest first.
        if (full->last) {
            waitfor(r.emptied, k);
            for (std::uint32_t j = 1; j < ringsize; ++j)
                recordbehind(r.batches[(k + j) % ringsize]);
        }
    }
    return &next;
}

// Counts the batches of `r` up to the last of a range.
void countrange(Ring& r)
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
        countbatch(b);
        if (!readerrecords())
            recordorfail(b);
        last = b.last;
        advance(r.emptied, k + 1);
    }
}

// A reader of ranges; the last range reads on to the end of the file.
void* readranges(void* scanner)
{
    Scanner& s = *static_cast<Scanner*>(scanner);
    Batch* batch = &rings[s.ring].batches[0];
    for (std::uint32_t k = static_cast<std::uint32_t>(s.ring); k < ranges.count;
         k += static_cast<std::uint32_t>(ranges.readers)) {
        Input in;
        openrange(ranges, k, in);
        batch = scaninput(s, in, batch);
    }
    return nullptr;
}

// A reader of the whole input, from where it stands.
void* readall(void* in)
{
    scaninput(scanners[0], *static_cast<Input*>(in), &rings[0].batches[0]);
    return nullptr;
}

void countbehindreaders(Input& in, int readers)
{
    pthread_t threads[maxreaders];
    int started = 0;
    recordfailure = 0;
    for (int r = 0; r < readers; ++r) {
        rings[r].filled.done = 0;
        rings[r].emptied.done = 0;
        scanners[r].handover = passon;
        scanners[r].ring = r;
        void* (*body)(void*) = readers > 1 ? readranges : readall;
        void* argument = readers > 1 ? static_cast<void*>(&scanners[r]) : static_cast<void*>(&in);
        if (pthread_create(&threads[r], nullptr, body, argument) != 0)
            break;
        ++started;
    }
    if (started < readers) {
        // No thread to spare: those started are stopped by the end of the
        // process, and everything is read here instead.
        if (started > 0)
            fail("cannot start a thread for", inputname, EAGAIN);
        scanners[0].handover = countnow;
        scaninput(scanners[0], in, &rings[0].batches[0]);
        return;
    }
    for (std::uint32_t k = 0; k < ranges.count; ++k)
        countrange(rings[k % static_cast<std::uint32_t>(readers)]);
    for (int r = 0; r < readers; ++r)
        pthread_join(threads[r], nullptr);
    if (recordfailure != 0)
        fail("cannot write a temporary file for", inputname, recordfailure);
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

std::uint64_t countwords(Input& in, const char* name, const Settings& settings, Records& records)
{
    notes = &records;
    inputname = name;
    counted = 0;
    chosen = &kernels(settings.kernel);
    for (Scanner& s : scanners) {
        s.kernels = chosen;
        s.minwordlen = settings.minwordlen;
    }
    const int threads = settings.threads;
    unsigned char* const block = in.block;
    const std::size_t blocksize = in.blocksize;
    const std::uint64_t size = inputsize(in);
    showing = startprogress(size);
    // Ranges need a file read from its start, at any offset.
    int readers = std::max(1, threads - 1);
    if (size == 0 || lseek(in.fd, 0, SEEK_CUR) != 0)
        readers = 1;
    ranges = cutranges(in.fd, size, readers);
    if (threads > 1) {
        countbehindreaders(in, readers);
    } else {
        scanners[0].handover = countnow;
        scaninput(scanners[0], in, &rings[0].batches[0]);
    }
    endprogress();
    in.block = block;
    in.blocksize = blocksize;
    in.next = in.end = block;
    return counted;
}
