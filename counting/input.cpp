#include "input.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A directory counts as rewindable: reading it fails at once, and that error
// should be the one reported, not a failure to make a copy nobody needs.
bool rewindable(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0)
        return true;
    return S_ISREG(st.st_mode) || S_ISBLK(st.st_mode) || S_ISDIR(st.st_mode);
}

// An unnamed file in $TMPDIR (or /tmp): it vanishes with the process, however
// the process ends.
int opentemporary()
{
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0')
        dir = "/tmp";
    int fd = open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR))
        return fd;
    // The file system has no unnamed files: make a named one and unlink it.
    char path[4096];
    if (std::snprintf(path, sizeof path, "%s/tallvik.XXXXXX", dir) >= static_cast<int>(sizeof path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    fd = mkostemp(path, O_CLOEXEC);
    if (fd >= 0)
        unlink(path);
    return fd;
}

bool writeall(int fd, const unsigned char* bytes, std::size_t size)
{
    while (size > 0) {
        ssize_t put = write(fd, bytes, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put == 0)
            errno = ENOSPC;
        if (put <= 0)
            return false;
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace

int Input::fill()
{
    next = end = block;
    for (;;) {
        ssize_t got = read(fd, block, blocksize);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            readerror = errno;
        if (got <= 0)
            return -1;
        if (copying && !writeall(copyfd, block, static_cast<std::size_t>(got))) {
            copyerror = errno;
            return -1;
        }
        next = block + 1;
        end = block + got;
        consumed += static_cast<std::uint64_t>(got);
        if (onblock != nullptr)
            onblock(consumed);
        return block[0];
    }
}

bool attachinput(Input& in, int fd, unsigned char* block, std::size_t blocksize)
{
    in.fd = fd;
    in.block = block;
    in.blocksize = blocksize;
    in.next = in.end = block;
    if (rewindable(fd))
        return true;
    in.copyfd = opentemporary();
    in.copying = in.copyfd >= 0;
    return in.copying;
}

std::uint64_t inputsize(const Input& in)
{
    struct stat st;
    if (fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

bool rewindinput(Input& in)
{
    if (in.copyfd >= 0 && in.copying) {
        close(in.fd);
        in.fd = in.copyfd;
        in.copying = false;
    }
    in.next = in.end = in.block;
    in.consumed = 0;
    return lseek(in.fd, 0, SEEK_SET) == 0;
}

void closeinput(Input& in)
{
    close(in.fd);
    if (in.copyfd >= 0 && in.copyfd != in.fd)
        close(in.copyfd);
    in.fd = in.copyfd = -1;
}
