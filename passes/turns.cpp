// One reader and the counter, taking turns at the scanner.
//
// The scanner is not the reader's but the turn's: whichever thread finds
// the next batch unscanned and nobody scanning it takes the turn and scans
// it. So the counter, finding no batch ready while the reader is away (on a
// busy machine, waiting for a core), reads on itself as one thread would,
// instead of waiting for a thread that is not running; and while the help
// does not pay, the reader sleeps and the counter holds the turn (see
// helping.h). Whoever takes a turn first records every batch counted by
// then, oldest first: the turns come in input order, so the records do.
#include "passes/helping.h"
#include "passes/passonestate.h"

namespace {

// Takes the turn to scan batch k: nobody is scanning, and the batch before
// k has been handed on, so the scanner and the records stand where the last
// turn left them.
bool claim(Ring& r, std::uint32_t k)
{
    std::uint32_t expected = k;
    return r.filled.done.load(std::memory_order_acquire) == k &&
           r.claimed.compare_exchange_strong(expected, k + 1, std::memory_order_acquire);
}

// Scans batch k in the turn taken for it and hands it on; the reader hashes
// it too if the counter is behind. First every batch counted by now is
// recorded, the one k's slot held among them.
void fillturn(PassOne& p, Ring& r, std::uint32_t k, bool reader)
{
    const std::uint32_t counted = r.emptied.done.load(std::memory_order_acquire);
    for (; p.recorded != counted; ++p.recorded)
        recordbehind(p, r.batches[p.recorded % ringsize]);
    Batch& b = r.batches[k % ringsize];
    // A record that failed fails the run: reading on would only make the
    // user wait longer for the message.
    const bool more = p.recordfailure == 0 && p.scanners[0].scan(b);
    if (p.recordfailure != 0)
        endearly(b);
    p.scannedall.store(!more, std::memory_order_relaxed);
    if (reader && counterbehind(r, k))
        hashbatch(b, *p.kernels);
    advance(r.filled, k + 1);
}

// Counts up to n batches from k on, the turn to scan k taken and held
// throughout, as one thread does: each scanned into k's slot and counted and
// recorded before the next, so that one batch's lines stay in the cache
// rather than four going round the ring. Returns the number of batches, and
// whether the last of the input was among them.
std::uint32_t countheld(PassOne& p, Ring& r, std::uint32_t k, std::uint32_t n, bool& last)
{
    for (; p.recorded != k; ++p.recorded)
        recordbehind(p, r.batches[p.recorded % ringsize]);
    Batch& b = r.batches[k % ringsize];
    std::uint32_t counted = 0;
    for (bool more = true; more && counted < n; ++counted) {
        more = p.recordfailure == 0 && p.scanners[0].scan(b);
        if (p.recordfailure != 0)
            endearly(b);
        countbatch(p, b);
        recordbehind(p, b);
        ++p.recorded;
        last = !more;
    }
    p.scannedall.store(last, std::memory_order_relaxed);
    // The turn passes on at batch k + counted.
    r.claimed.store(k + counted, std::memory_order_relaxed);
    advance(r.emptied, k + counted);
    advance(r.filled, k + counted);
    return counted;
}

// Ends the turns after `batches`: a reader asked to stop is woken to see
// that all is read.
std::uint32_t finish(PassOne& p, std::uint32_t batches)
{
    advance(p.invitations, p.invitations.done.load(std::memory_order_relaxed) + 1);
    return batches;
}

// What the two threads have done by now.
struct Effort {
    std::int64_t wall;
    std::int64_t working; // on a core and not spinning, both threads
};

Effort effort(PassOne& p, clockid_t readerclock, std::int64_t counterspun)
{
    return {nanoseconds(CLOCK_MONOTONIC),
            nanoseconds(CLOCK_THREAD_CPUTIME_ID) - counterspun + nanoseconds(readerclock) -
                p.readerspun.load(std::memory_order_relaxed)};
}

// Asks the reader to help, or to stop, from the next window on.
void invite(PassOne& p, bool help)
{
    const std::uint32_t round = p.invitations.done.load(std::memory_order_relaxed);
    if ((round % 2 == 1) != help)
        advance(p.invitations, round + 1);
}

} // namespace

void* readinturns(void* reader)
{
    PassOne& p = *static_cast<Reader*>(reader)->pass;
    Ring& r = p.rings[0];
    std::int64_t spun = 0;
    for (;;) {
        const std::uint32_t round = p.invitations.done.load(std::memory_order_acquire);
        const std::uint32_t k = r.filled.done.load(std::memory_order_acquire);
        if (p.scannedall.load(std::memory_order_relaxed))
            return nullptr;
        // Ahead of the counter while the ring has room.
        if (round % 2 == 0)
            waitfor(p.invitations, round + 1, false);
        else if (k - r.emptied.done.load(std::memory_order_relaxed) >= ringsize)
            spun += waitfor(r.emptied, k + 1 - ringsize);
        else if (claim(r, k))
            fillturn(p, r, k, true);
        else
            spun += waitfor(r.filled, k + 1);
        p.readerspun.store(spun, std::memory_order_relaxed);
    }
}

std::uint32_t countturns(PassOne& p, pthread_t reader, bool spare)
{
    Ring& r = p.rings[0];
    clockid_t readerclock{};
    Helping helping(spare);
    // Without the reader's clock the help cannot be judged, and is taken.
    const bool judging = pthread_getcpuclockid(reader, &readerclock) == 0;
    std::int64_t spun = 0;
    invite(p, !judging || helping.helps());
    Effort from = effort(p, readerclock, spun);
    std::uint32_t windowend = helping.batches();
    for (std::uint32_t k = 0;; ++k) {
        if (judging && k == windowend) {
            if (helping.helps()) {
                const Effort to = effort(p, readerclock, spun);
                helping.helped(to.wall - from.wall, to.working - from.working);
            } else {
                helping.alone(corespare());
            }
            invite(p, helping.helps());
            if (helping.helps())
                from = effort(p, readerclock, spun);
            windowend = k + helping.batches();
        }
        if (!helping.helps() && claim(r, k)) {
            bool last = false;
            k += countheld(p, r, k, windowend - k, last) - 1;
            if (last)
                return finish(p, k + 1);
            continue;
        }
        while (static_cast<std::int32_t>(r.filled.done.load(std::memory_order_acquire) - k) <= 0) {
            if (claim(r, k))
                fillturn(p, r, k, false);
            else
                spun += waitfor(r.filled, k + 1);
        }
        Batch& b = r.batches[k % ringsize];
        counthandedon(p, b);
        const bool last = b.last;
        advance(r.emptied, k + 1);
        if (last)
            return finish(p, k + 1);
    }
}
