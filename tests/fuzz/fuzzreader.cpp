// The block reader against the byte-at-a-time one, on any bytes. The first
// byte picks the minimum word length, the second the block size.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

#include "counting/wordreader.h"
#include "literalreader.h"

namespace {
const int fd = memfd_create("fuzzreader", MFD_CLOEXEC);
unsigned char block[200];
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    minwordlen = 1 + data[0] % maxwordlen;
    const std::size_t blocksize = 1 + data[1] % sizeof block;
    data += 2;
    size -= 2;
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size) ||
        lseek(fd, 0, SEEK_SET) != 0)
        std::abort();

    Input in;
    attachinput(in, fd, block, blocksize);
    ByteStream stream{data, size};
    unsigned char fast[maxwordlen + 1];
    unsigned char literal[maxwordlen + 1];
    int last;
    do {
        wordhash h;
        last = readword(in, fast, maxwordlen, h);
        if (last != literalreadword(stream, literal, maxwordlen, minwordlen) ||
            std::memcmp(fast, literal, sizeof fast) != 0 || h != literalhashword(literal))
            std::abort();
    } while (last >= 0);
    return 0;
}
