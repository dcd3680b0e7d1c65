// Compiled with -mavx512f, and called only where the processor has it. Only
// the hash runs on 16 lanes: classifying a chunk of 64 bytes is two AVX2
// loads already, and a small part of the reader's time.
#include "hash512.h"

void hashavx512(const unsigned char* data, const std::uint16_t* offsets, const std::uint8_t* lengths,
                std::uint32_t count, std::uint32_t* hashes)
{
    hashwords<Gathered>(data, offsets, lengths, count, hashes);
}
