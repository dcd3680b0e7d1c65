// The whole program, in-process, against the literal design, on any bytes:
// the first byte picks the minimum word length, the second the minimum count,
// the rest is the file. Standard output goes to an in-memory file.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "counting/run.h"
#include "literalrun.h"

namespace {

const int file = memfd_create("fuzzrun-input", MFD_CLOEXEC);
const int out = [] {
    const int fd = memfd_create("fuzzrun-output", MFD_CLOEXEC);
    dup2(fd, STDOUT_FILENO);
    return fd;
}();

std::string takeoutput()
{
    std::string bytes(static_cast<std::size_t>(lseek(STDOUT_FILENO, 0, SEEK_CUR)), '\0');
    if (pread(out, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()) ||
        ftruncate(out, 0) != 0 || lseek(STDOUT_FILENO, 0, SEEK_SET) != 0)
        std::abort();
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int minlen = 1 + data[0] % 62;
    const std::uint32_t mincount = 1 + data[1] % 16;
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    if (ftruncate(file, 0) != 0 || pwrite(file, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
        std::abort();

    std::string path = "/proc/self/fd/" + std::to_string(file);
    std::string length = std::to_string(minlen);
    std::string count = std::to_string(mincount);
    char program[] = "tallvik";
    char* argv[] = {program, path.data(), length.data(), count.data(), nullptr};
    if (run(4, argv) != 0 || takeoutput() != literalrun(text, minlen, mincount))
        std::abort();
    return 0;
}
