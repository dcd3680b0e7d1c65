// Preloaded into the program by the tests: read() fails with EIO once
// $FAILREAD_AFTER bytes have been read, as a failing disk would.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

extern "C" ssize_t read(int fd, void* buf, size_t size)
{
    static const auto real = reinterpret_cast<ssize_t (*)(int, void*, size_t)>(dlsym(RTLD_NEXT, "read"));
    static long long left = std::atoll(std::getenv("FAILREAD_AFTER"));
    if (left == 0)
        return errno = EIO, -1;
    const ssize_t got = real(fd, buf, std::min<size_t>(size, static_cast<size_t>(left)));
    left -= got > 0 ? got : 0;
    return got;
}
