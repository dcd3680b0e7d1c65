// Compiled with -mavx512f, and called only where the processor has it.
#include "kernels/hash512.h"
#include "kernels/tiers.h"

namespace avx512 {

void hashspans(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
               std::uint32_t count, std::uint32_t* hashes)
{
    hashwords<Gathered>(data, offsets, lengths, count, hashes);
}

} // namespace avx512
