// Preloaded into the program by the tests: read() fails with EIO once
// $FAILREAD_AFTER bytes have been read, as a failing disk would.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

extern "C" ssize_t read(int fd, void* buf, size_t size)
{
    using Read = ssize_t (*)(int, void*, size_t);
    static const auto real = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "read"));
    static long long left = [] {
        const char* after = std::getenv("FAILREAD_AFTER");
        return after != nullptr ? std::atoll(after) : LLONG_MAX;
    }();
    if (left == 0) {
        errno = EIO;
        return -1;
    }
    if (static_cast<unsigned long long>(left) < size)
        size = static_cast<size_t>(left);
    const ssize_t got = real(fd, buf, size);
    if (got > 0)
        left -= got;
    return got;
}
