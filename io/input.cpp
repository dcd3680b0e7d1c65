#include "io/input.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/uninterrupted.h"

int Input::fill()
{
    blockstart += static_cast<std::uint64_t>(end - block);
    block = into;
    next = end = block;
    const std::size_t want =
        atoffsets ? static_cast<std::size_t>(std::min<std::uint64_t>(blocksize, limit - blockstart)) : blocksize;
    if (want == 0)
        return -1;
    const ssize_t got = uninterrupted(
        [&] { return atoffsets ? pread(fd, block, want, static_cast<off_t>(blockstart)) : read(fd, block, want); });
    if (got < 0)
        readerror = errno;
    if (got <= 0)
        return -1;
    next = block + 1;
    end = block + got;
    return block[0];
}

void attachinput(Input& in, int fd, unsigned char* block, std::size_t blocksize)
{
    // A pipe's usual 64 KiB buffer makes its writer and reader take turns
    // often; 256 KiB took a twentieth off a run through a pipe, where 1 MiB,
    // larger than the cache, made it slower (measured). Not every pipe may
    // grow, and reading works either way.
    fcntl(fd, F_SETPIPE_SZ, 1 << 18);
    in = Input{};
    in.fd = fd;
    // Standard input may be a file that something has read part of before:
    // offsets are the file's own, so that it can be read again at them.
    if (const off_t at = lseek(fd, 0, SEEK_CUR); at > 0)
        in.blockstart = static_cast<std::uint64_t>(at);
    in.block = in.into = block;
    in.blocksize = blocksize;
    in.next = in.end = block;
}

bool rereadable(const Input& in)
{
    struct stat st;
    return fstat(in.fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

std::uint64_t inputsize(const Input& in)
{
    struct stat st;
    if (fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

const unsigned char* fetch(Input& in, std::uint64_t offset, std::size_t length)
{
    if (offset >= in.blockstart && offset + length <= in.blockstart + static_cast<std::uint64_t>(in.end - in.block))
        return in.block + (offset - in.blockstart);
    in.blockstart = offset;
    std::size_t got = 0;
    while (got < length) {
        const ssize_t n = uninterrupted(
            [&] { return pread(in.fd, in.block + got, in.blocksize - got, static_cast<off_t>(offset + got)); });
        if (n < 0)
            in.readerror = errno;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    in.next = in.end = in.block + got;
    return got >= length ? in.block : nullptr;
}

void closeinput(Input& in)
{
    close(in.fd);
    in.fd = -1;
}
