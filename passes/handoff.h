// Counts of batches that one thread advances, modulo 2^32, and another waits
// on: the two halves of a hand-off between a reader and the counter.
//
// The waiter says it sleeps before its last look at the count, and the
// other looks for a sleeper after advancing it, both in one total order: so
// either the sleeper sees the new count or the other sees the sleeper and
// wakes it, and a batch that changes hands with nobody asleep costs no
// system call. Futexes rather than the library's waits keep the C++ runtime
// library, and the megabyte and more it maps, out of the process.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>

struct Count {
    std::atomic<std::uint32_t> done;
    std::atomic<bool> sleeping;
};
static_assert(sizeof(std::atomic<std::uint32_t>) == 4 && std::atomic<std::uint32_t>::is_always_lock_free);

// Waits until `count` has reached `n`, which is less than 2^31 ahead of it.
// What the other thread wrote before advancing to `n` is then visible.
// Unless told not to `spin`, for a wait that is likely long, it spins a
// while first. Returns the nanoseconds it spent spinning, on a core but idle.
std::int64_t waitfor(Count& count, std::uint32_t n, bool spin = true);

// Sets `count` to `done` and wakes a thread that waits on it.
void advance(Count& count, std::uint32_t done);

// The time of `clock` in nanoseconds.
std::int64_t nanoseconds(clockid_t clock);
