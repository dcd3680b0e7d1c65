// The kernel tiers: which one each processor gets, and each one against the
// byte table, the model's hash and the portable walk of runs.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "checks.h"
#include "kernels/kernels.h"

namespace {

std::mt19937 random(20261207);

TEST(Kernels, EachProcessorGetsTheFastestTierItCanRun)
{
    // Made-up processors: each AVX-512 feature the top tier needs, left out
    // in turn, leaves the tier below; without AVX2 nothing above SSE2 runs.
    const Features none, haswell{.avx2 = true},
        skylake{.avx2 = true, .avx512f = true, .avx512bw = true, .popcnt = true};
    Features icelake = skylake;
    icelake.avx512vbmi = icelake.avx512vbmi2 = true;
    const bool x86 = canrun(Kernel::sse2, none);
    std::vector<std::pair<Features, Kernel>> rows = {
        {none, Kernel::sse2}, {haswell, Kernel::avx2}, {skylake, Kernel::avx512}, {icelake, Kernel::vbmi}};
    for (bool Features::*lacking : {&Features::avx512bw, &Features::avx512vbmi, &Features::avx512vbmi2,
                                    &Features::popcnt, &Features::avx2}) {
        Features f = icelake;
        f.*lacking = false;
        rows.push_back({f, lacking == &Features::avx2 ? Kernel::sse2 : Kernel::avx512});
    }
    for (auto [features, best] : rows) {
        EXPECT_EQ(bestkernel(features), x86 ? best : Kernel::portable) << kernelname(best);
        for (Kernel kernel : allkernels)
            EXPECT_EQ(canrun(kernel, features), kernel == Kernel::portable || (x86 && kernel <= best));
    }
    for (Kernel kernel : allkernels) {
        Kernel named = Kernel::portable;
        EXPECT_TRUE(kernelnamed(kernelname(kernel), named) && named == kernel);
    }
    Kernel named;
    EXPECT_FALSE(kernelnamed("AVX2", named) || kernelnamed("", named));
    // Under an emulated processor CI says which tier it must get.
    if (const char* expected = std::getenv("TALLVIK_EXPECT_KERNEL")) {
        EXPECT_STREQ(kernelname(bestkernel(processorfeatures())), expected);
    }
}

std::uint64_t random64() { return std::uint64_t{random()} << 32 | random(); }

TEST(Kernels, ClassifyHashAndLineUpAsTheByteTableTheModelAndTheWalkDo)
{
    alignas(64) unsigned char block[128 + 64];
    for (Kernel kernel : runnablekernels()) {
        const Kernels& k = kernels(kernel);
        SCOPED_TRACE(kernelname(kernel));
        ASSERT_EQ(k.kernel, kernel);
        // Every byte value at every place of a block, among letters and
        // among separators.
        for (int value = 0; value < 256; ++value)
            for (int at = 0; at < 128; ++at) {
                std::memset(block, at % 2 ? 'a' : ' ', 128);
                block[at] = static_cast<unsigned char>(value);
                Masks masks[2];
                k.classify(block, 2, masks);
                for (int i = 0; i < 128; ++i) {
                    const int c = block[i];
                    const auto bit = [&](std::uint64_t Masks::*m) { return (masks[i / 64].*m >> (i % 64)) & 1; };
                    ASSERT_EQ(bit(&Masks::letters), model::isletter(c)) << value << " at " << at;
                    ASSERT_EQ(bit(&Masks::starts), model::isletter(c) || c == '\'');
                    // A backtick or hyphen joins only after a letter of its chunk.
                    const bool afterletter = i % 64 != 0 && model::isletter(block[i - 1]);
                    ASSERT_EQ(bit(&Masks::joiners), c == '\'' || ((c == '`' || c == '-') && afterletter));
                }
            }
        // The runs of a chunk's letters from some byte on, as the reader
        // makes them, sparse and dense, the last one often going on into
        // the next chunk.
        for (int round = 0; k.lineup != nullptr && round < 20000; ++round) {
            const std::uint64_t draws[] = {random64(), random64() & random64(), random64() | random64()};
            const std::uint64_t letters = draws[round % 3] & (~std::uint64_t{0} << random() % 64);
            const std::uint64_t starts = letters & ~(letters << 1), ends = ~letters & (letters << 1);
            const std::uint32_t base = 64 * (random() % 512), shortest = 1 + random() % 62,
                                longest = round % 2 ? 62 : 1 + random() % 62;
            std::uint16_t offsets[2][64 + 32];
            std::uint8_t lengths[2][64 + 32];
            const std::uint32_t n = k.lineup(starts, ends, base, shortest, longest, offsets[0], lengths[0]);
            ASSERT_EQ(n, walkruns(starts, ends, base, shortest, longest, offsets[1], lengths[1])) << round;
            for (std::uint32_t i = 0; i < n; ++i)
                ASSERT_TRUE(offsets[0][i] == offsets[1][i] && lengths[0][i] == lengths[1][i]) << round << " " << i;
        }
        // Words of every length up to 62, of any bytes but NUL, anywhere,
        // then 8 bytes apart, the last of each 16 from 6 to 10: so that some
        // runs of 16 just fit in what a kernel reads around them, and some
        // just do not.
        Bytes text(1 << 15, '\0');
        std::uint16_t offsets[999];
        std::uint8_t lengths[999];
        std::uint32_t hashes[999];
        for (char& c : text)
            c = static_cast<char>(1 + random() % 255);
        for (int i = 0; i < 999; ++i) {
            lengths[i] = static_cast<std::uint8_t>(random() % 63);
            const auto place = i < 512 ? random() : offsets[i - 1] + (i % 16 == 15 ? 6 + i / 16 % 5 : 8);
            offsets[i] = static_cast<std::uint16_t>(place % (text.size() - lengths[i]));
        }
        text.append(128, 'x');
        const auto* data = reinterpret_cast<const unsigned char*>(text.data());
        k.hashspans(data, offsets, lengths, 999, hashes);
        for (int i = 0; i < 999; ++i) {
            const Bytes word = text.substr(offsets[i], lengths[i]);
            ASSERT_EQ(hashes[i], model::hashword(reinterpret_cast<const unsigned char*>(word.c_str()))) << i;
        }
    }
}

} // namespace
