// The hash-indexed table against the front-searched list, on any sequence
// of words: the first byte picks a capacity, then each byte adds one of a
// few hashes until a 0xFF byte, the next byte prunes, and the words are then
// looked up and dropped as a second pass does.

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "literaltable.h"
#include "table/frequencytable.h"

namespace {

// Few enough that words repeat and counts climb past 8, 16 and 24.
constexpr std::uint32_t pool[] = {0,          1,          2,          0xFFFFFFFF, 0x80000000, 0x7FFFFFFF,
                                  0x00100000, 0x00200000, 0x00300000, 0x6F2BC855, 0x138BC49B, 0xB1E7EAA4,
                                  0x8E740E72, 12345,      54321,      0xDEADBEEF, 0xCAFEF00D, 0x0BADF00D};
constexpr std::size_t poolsize = sizeof pool / sizeof pool[0];

template <std::int32_t Capacity>
void drive(const std::uint8_t* data, std::size_t size)
{
    static auto fast = std::make_unique<FrequencyTable<Capacity>>();
    static auto literal = std::make_unique<LiteralTable<Capacity>>();
    fast->clear();
    *literal = LiteralTable<Capacity>{};
    auto agree = [&] {
        if (fast->size() != literal->used)
            std::abort();
        for (std::uint32_t h : pool)
            if (fast->find(h) != literal->findword(h))
                std::abort();
    };

    std::size_t added = 0;
    while (added < size && data[added] != 0xFF) {
        const std::uint32_t h = pool[data[added++] % poolsize];
        fast->add(h);
        literal->addword(h);
        agree();
    }
    const std::uint32_t minimum = added + 1 < size ? data[added + 1] % 30 : 10;
    fast->prune(minimum);
    literal->prunewords(minimum);
    agree();
    for (std::size_t i = 0; i < added; ++i) {
        const std::uint32_t h = pool[data[i] % poolsize];
        const std::uint32_t count = literal->findword(h);
        if (fast->find(h) != count)
            std::abort();
        if (count != 0) {
            fast->drop(h);
            literal->dropword(h);
        }
    }
    if (fast->size() != 0 || literal->used != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    switch (data[0] % 4) {
    case 0: drive<1>(data + 1, size - 1); break;
    case 1: drive<3>(data + 1, size - 1); break;
    case 2: drive<8>(data + 1, size - 1); break;
    default: drive<17>(data + 1, size - 1); break;
    }
    return 0;
}
