#include "passes/ranges.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

#include "io/uninterrupted.h"
#include "words/word.h"

namespace {

// The first offset from `at` on that is 0, follows a separator, or is the
// end of the file; with `err` set if the file cannot be read there, and left
// alone otherwise, so that one error survives the next call.
std::uint64_t boundary(int fd, std::uint64_t at, int& err)
{
    if (at == 0)
        return 0;
    unsigned char bytes[4096];
    for (std::uint64_t from = at - 1;;) {
        const ssize_t got = uninterrupted([&] { return pread(fd, bytes, sizeof bytes, static_cast<off_t>(from)); });
        if (got <= 0) {
            if (got < 0)
                err = errno;
            return from;
        }
        for (ssize_t i = 0; i < got; ++i)
            if (wordbytes::classes[bytes[i]] == 0)
                return from + static_cast<std::uint64_t>(i) + 1;
        from += static_cast<std::uint64_t>(got);
    }
}

} // namespace

Ranges cutranges(int fd, std::uint64_t size, int readers)
{
    Ranges ranges{fd, readers, 1, 0};
    if (readers > 1) {
        ranges.span = std::clamp<std::uint64_t>((size + 8 * readers - 1) / (8 * readers), 1, std::uint64_t{1} << 22);
        ranges.count = static_cast<std::uint32_t>((size + ranges.span - 1) / ranges.span);
    }
    return ranges;
}

void openrange(const Ranges& ranges, std::uint32_t k, Input& in)
{
    int err = 0;
    in = Input{};
    in.fd = ranges.fd;
    in.atoffsets = true;
    in.blockstart = boundary(ranges.fd, k * ranges.span, err);
    in.limit = k + 1 == ranges.count ? UINT64_MAX
                                     : std::max(in.blockstart, boundary(ranges.fd, (k + 1) * ranges.span, err));
    if (err != 0)
        in.limit = in.blockstart;
    in.readerror = err;
}
