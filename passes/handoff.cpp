#include "passes/handoff.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The other thread is usually a few microseconds from done, less than going
// to sleep and being woken costs: so spin a while first.
void sleepwhile(Count& count, std::uint32_t seen)
{
    for (int spin = 0; spin < 4096; ++spin) {
        if (count.done.load(std::memory_order_acquire) != seen)
            return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    count.sleeping.store(true);
    if (count.done.load() == seen)
        syscall(SYS_futex, &count.done, FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
    count.sleeping.store(false, std::memory_order_relaxed);
}

} // namespace

void waitfor(Count& count, std::uint32_t n)
{
    for (std::uint32_t seen; static_cast<std::int32_t>(n - (seen = count.done.load(std::memory_order_acquire))) > 0;)
        sleepwhile(count, seen);
}

void advance(Count& count, std::uint32_t done)
{
    count.done.store(done);
    if (count.sleeping.load())
        syscall(SYS_futex, &count.done, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}
