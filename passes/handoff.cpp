#include "passes/handoff.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The other thread is usually a few microseconds from done, less than going
// to sleep and being woken costs: so spin a while first.
std::int64_t sleepwhile(Count& count, std::uint32_t seen, int spins)
{
    const std::int64_t start = nanoseconds(CLOCK_MONOTONIC);
    for (int spin = 0; spin < spins; ++spin) {
        if (count.done.load(std::memory_order_acquire) != seen)
            return nanoseconds(CLOCK_MONOTONIC) - start;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    const std::int64_t spun = nanoseconds(CLOCK_MONOTONIC) - start;
    count.sleeping.store(true);
    if (count.done.load() == seen)
        syscall(SYS_futex, &count.done, FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
    count.sleeping.store(false, std::memory_order_relaxed);
    return spun;
}

} // namespace

std::int64_t waitfor(Count& count, std::uint32_t n, bool spin)
{
    std::int64_t spun = 0;
    for (std::uint32_t seen; static_cast<std::int32_t>(n - (seen = count.done.load(std::memory_order_acquire))) > 0;)
        spun += sleepwhile(count, seen, spin ? 4096 : 0);
    return spun;
}

void advance(Count& count, std::uint32_t done)
{
    count.done.store(done);
    if (count.sleeping.load())
        syscall(SYS_futex, &count.done, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

std::int64_t nanoseconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * std::int64_t{1000000000} + t.tv_nsec;
}
