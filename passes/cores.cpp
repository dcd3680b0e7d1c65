#include "passes/cores.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

bool corespare()
{
    const int fd = open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    char text[128];
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    const auto* slash = n > 0 ? static_cast<const char*>(std::memchr(text, '/', static_cast<std::size_t>(n))) : nullptr;
    if (slash == nullptr)
        return true;
    const char* digits = slash;
    while (digits > text && digits[-1] >= '0' && digits[-1] <= '9')
        --digits;
    long running = 0;
    for (; digits < slash; ++digits)
        running = running * 10 + (*digits - '0');
    return running < sysconf(_SC_NPROCESSORS_ONLN);
}
