#include "passes/passone.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include "io/output.h"
#include "io/progress.h"
#include "passes/passonestate.h"
#include "table/table.h"

namespace {

// All zero, so that its 2 MB of batches stay out of the binary and a run
// commits only the pages it uses: one thread uses one batch of twelve.
constinit PassOne pass;

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
            if (counterbehind(r, k))
                hashbatch(r.batches[k % ringsize], *p.kernels);
            advance(r.filled, k + 1);
        }
    }
    return nullptr;
}

// Counts the batches of `r` up to the last of a range, and records them:
// readers of ranges would record out of order.
void countring(PassOne& p, Ring& r)
{
    for (bool last = false; !last;) {
        const std::uint32_t k = r.emptied.done.load(std::memory_order_relaxed);
        waitfor(r.filled, k + 1);
        Batch& b = r.batches[k % ringsize];
        counthandedon(p, b);
        recordorfail(p, b);
        last = b.last;
        advance(r.emptied, k + 1);
    }
}

// The calling thread counts, in input order, what one reader, taking turns
// with it, or several, over ranges of a file, hand it.
void countbehindreaders(PassOne& p, const Input& in)
{
    const int readers = p.ranges.readers;
    pthread_t threads[maxreaders];
    Reader parts[maxreaders];
    int started = 0;
    p.recordfailure = 0;
    p.scannedall = false;
    p.invitations.done = 0;
    p.readerspun = 0;
    p.recorded = 0;
    // Asked before the reader starts, which would count as running.
    const bool spare = readers == 1 && corespare();
    if (readers == 1)
        p.scanners[0].begin(in);
    for (int r = 0; r < readers; ++r) {
        p.rings[r].filled.done = 0;
        p.rings[r].emptied.done = 0;
        p.rings[r].claimed = 0;
        parts[r] = {&p, r};
        if (pthread_create(&threads[r], nullptr, readers > 1 ? readranges : readinturns, &parts[r]) != 0)
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
    if (readers == 1) {
        const std::uint32_t batches = countturns(p, threads[0], spare);
        pthread_join(threads[0], nullptr);
        for (; p.recorded != batches; ++p.recorded)
            recordbehind(p, p.rings[0].batches[p.recorded % ringsize]);
    } else {
        for (std::uint32_t k = 0; k < p.ranges.count; ++k)
            countring(p, p.rings[k % static_cast<std::uint32_t>(readers)]);
        for (int r = 0; r < readers; ++r)
            pthread_join(threads[r], nullptr);
    }
    if (p.recordfailure != 0)
        fail("cannot write a temporary file for", p.inputname, p.recordfailure);
}

} // namespace

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

// A batch left to be hashed here may have its block in the other core's
// cache, and the hash kernels read it out of order, each read a wait; a pass
// in order first has the lines on their way while the words are sorted.
void counthandedon(PassOne& p, Batch& b)
{
    if (!b.hashed)
        for (std::size_t at = 0; at < b.size; at += 64)
            __builtin_prefetch(b.data + at);
    countbatch(p, b);
}

void recordbehind(PassOne& p, Batch& b)
{
    if (p.recordfailure == 0 && !recordbatch(p, b))
        p.recordfailure = errno;
}

bool counterbehind(const Ring& r, std::uint32_t k)
{
    return k + 1 - r.emptied.done.load(std::memory_order_relaxed) > ringsize / 2;
}

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
