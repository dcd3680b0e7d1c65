// Preloaded into the program by the tests, as a failing disk or another
// program would: reads fail with EIO once $FAILREAD_AFTER bytes have been
// read; or, with $FAILREAD_EINTR, every other read is interrupted by a
// signal before it reads anything; or, at the end of the first reading, the
// file is cut to $FAILREAD_CHANGE bytes and "changed" written after them;
// or, as on a machine at its limit of processes, no thread starts once
// $FAILREAD_THREADS have; or, with $FAILREAD_FULL, as on a full disk, every
// write to a file but standard output and error fails with ENOSPC.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <string>
#include <unistd.h>

namespace {
const bool limited = std::getenv("FAILREAD_AFTER") != nullptr;
// Threads read at once: each takes its share of what is left before it reads.
std::atomic<long long> left = limited ? std::atoll(std::getenv("FAILREAD_AFTER")) : 0;
const char* change = std::getenv("FAILREAD_CHANGE");
std::atomic<long long> threads = std::getenv("FAILREAD_THREADS") ? std::atoll(std::getenv("FAILREAD_THREADS")) : -1;

const bool interrupting = std::getenv("FAILREAD_EINTR") != nullptr;
const bool full = std::getenv("FAILREAD_FULL") != nullptr;

ssize_t failing(int fd, void* buf, std::size_t size, off_t offset)
{
    // Left at EINTR, errno then outlives the read that follows.
    thread_local bool interrupted = false;
    if (interrupting && (interrupted = !interrupted))
        return errno = EINTR, -1;
    static const auto real = reinterpret_cast<ssize_t (*)(int, void*, std::size_t)>(dlsym(RTLD_NEXT, "read"));
    static const auto realp = reinterpret_cast<ssize_t (*)(int, void*, std::size_t, off_t)>(dlsym(RTLD_NEXT, "pread"));
    for (long long have = left; limited; ) {
        if (have <= 0)
            return errno = EIO, -1;
        size = std::min<std::size_t>(size, static_cast<std::size_t>(have));
        if (left.compare_exchange_weak(have, have - static_cast<long long>(size)))
            break;
    }
    const ssize_t got = offset < 0 ? real(fd, buf, size) : realp(fd, buf, size, offset);
    if (limited)
        left += static_cast<long long>(size) - (got > 0 ? got : 0);
    if (got == 0 && change != nullptr) {
        const int file = open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY);
        if (ftruncate(file, std::atoll(change)) != 0 || pwrite(file, "changed", 7, std::atoll(change)) != 7)
            std::abort();
        change = nullptr;
    }
    return got;
}
} // namespace

extern "C" ssize_t read(int fd, void* buf, std::size_t size) { return failing(fd, buf, size, -1); }
extern "C" ssize_t pread(int fd, void* buf, std::size_t size, off_t offset) { return failing(fd, buf, size, offset); }
extern "C" ssize_t write(int fd, const void* buf, std::size_t size)
{
    static const auto real = reinterpret_cast<ssize_t (*)(int, const void*, std::size_t)>(dlsym(RTLD_NEXT, "write"));
    if (full && fd > STDERR_FILENO)
        return errno = ENOSPC, -1;
    return real(fd, buf, size);
}
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*body)(void*), void* argument)
{
    static const auto real = reinterpret_cast<int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*)>(
        dlsym(RTLD_NEXT, "pthread_create"));
    if (threads >= 0 && threads-- == 0)
        return EAGAIN;
    return real(thread, attributes, body, argument);
}
