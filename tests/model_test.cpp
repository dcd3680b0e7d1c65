// The table and whole runs of the program, in this process on random input,
// held to the model.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <random>

#include "checks.h"
#include "io/output.h"
#include "words/word.h"

// Counted, and kept out of line so that no call site sees memory from new
// given to free.
[[gnu::noinline]] void* operator new(std::size_t size)
{
    ++allocations;
    if (void* memory = std::malloc(size != 0 ? size : 1))
        return memory;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* memory) noexcept { std::free(memory); }
[[gnu::noinline]] void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

std::mt19937 random(20261207);

// Pieces drawn to hit every rule: joiners next to each other and to
// separators, high bytes, NULs, words that collide, runs near the 62-byte cut.
// With `sparse`, most joiners become spaces, so that many 64-byte chunks hold
// only a few, as prose and logs do, and the reader's fast walk takes them.
Bytes randomtext(unsigned pieces, bool sparse = false)
{
    static const Bytes alphabet("aZ9\xE9\xFF\x80'`-- .,_\n\0", 16), words[] = {"euH ", "aua ", "the ", "The "};
    Bytes text;
    for (unsigned r; pieces-- > 0;) {
        if ((r = random() % 24) == 0)
            text += Bytes(55 + random() % 12, "xy"[random() % 2]);
        else if (r < 4)
            text.append("w").append(std::to_string(random() % 30)).append(" ");
        else if (r < 8)
            text += words[r - 4];
        else if (const char c = alphabet[r % 16]; sparse && (c == '\'' || c == '`' || c == '-') && random() % 16 != 0)
            text += ' ';
        else
            text += c;
    }
    return text;
}

TEST(Model, TableCountsAsTheListDoesAtSeveralCapacities)
{
    for (unsigned round = 0; round < 3000; ++round) {
        // A skewed draw from a pool that grows with the round, so that some
        // words climb past counts of 8, 16 and 24 and tables overflow.
        Bytes ops = {char(round % 4), char(random()), char(random())};
        for (unsigned n = random() % 600; n > 0; --n)
            ops += static_cast<char>(std::pow(std::uniform_real_distribution<double>(0, 1)(random), 2) * (2 + round % 250));
        ASSERT_TRUE(matches(ops + "\xFF" + static_cast<char>(random()))) << round;
    }
    // Counts stop rather than wrap: the first 200 adds cannot reach 255 and
    // go unchecked, the next 100 must stop there.
    FrequencyTable<4, std::uint8_t> small;
    std::uint32_t same[200];
    std::fill(std::begin(same), std::end(same), 77);
    std::uint16_t places[200];
    small.add(same, 200, places);
    small.add(same, 100, places);
    EXPECT_EQ(small.find(77), 255u);
}

TEST(Model, RunPrintsWhatTheModelPrintsWithoutAllocating)
{
    for (auto [text, h] : {std::pair{"", 0u}, {"a", 0x8E740E72u}, {"abc", 0xB1E7EAA4u}, {"the", 0x138BC49Bu}})
        EXPECT_EQ(model::hashword(reinterpret_cast<const unsigned char*>(text)), h);
    // With a minimum count of 1 every word is printed; the longer texts cross
    // the boundaries of the blocks the input is read in. The rounds take
    // each kernel tier in turn, on a file and on a pipe.
    for (unsigned round = 0; round < 1500; ++round) {
        const Bytes settings = {char(4 + round % 2 + 6 * (round % 5)), char(round % 3 ? round % 8 : random()),
                                char(random() % 3)};
        ASSERT_TRUE(matches(settings + randomtext(random() % (round % 97 ? 300 : 150000), round % 7 == 3))) << round;
    }
    // Words that run on over several blocks: after a plain word, after one
    // with a joiner that is too short for most lengths, so that the word the
    // byte reader returns begins blocks after the one it was asked to read,
    // and at the very end. Lengths, thread counts, tiers, file and pipe vary.
    const Bytes longest(70000, 'y');
    for (const Bytes& text : {"ab " + longest + " cd ab", "a-b " + longest + "-z a-b", longest + "'" + longest})
        for (char way = 0; way < 12; ++way)
            ASSERT_TRUE(matches(Bytes{char(4 + way % 2 + 6 * (way / 2 % 5)), char(2 + 3 * way), '\1'} + text)) << +way;
    // After a chunk that goes word by word (it holds a joiner), a word at
    // each place around the end of 64 bytes in which no word starts.
    for (int spaces = 56; spaces < 72; ++spaces)
        for (char tier = 0; tier < 5; ++tier)
            ASSERT_TRUE(matches(Bytes{char(4 + 6 * tier), '\0', '\0'} + "a'b" + Bytes(spaces, ' ') + "word a'b")) << spaces;
    EXPECT_TRUE(runmatches(randomtext(200000), 2, 2, false));
    EXPECT_EQ(runallocations, 0);
    // Standard output is written every 64 KiB: after a 17-byte line, the
    // 4095th line of 16 bytes straddles that with one byte left over.
    Bytes lines = "abcdefg ";
    for (int i = 10000; i < 15000; ++i)
        lines.append("w").append(std::to_string(i)).append(" ");
    EXPECT_TRUE(runmatches(lines, 1, 1, false));
    // A line as printf makes it, for counts of every width and words of
    // every length.
    const Bytes letters = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (const std::uint32_t count : {1u, 10u, 99u, 100u, 12345678u, 99999999u, 100000000u, 999999999u, 4294967295u})
        for (int length = 1; length <= maxwordlen; ++length) {
            unsigned char line[longestcount + 2 + maxwordlen];
            const Bytes word = letters.substr(0, static_cast<std::size_t>(length));
            const std::size_t n = formatcount(line, count, reinterpret_cast<const unsigned char*>(word.data()), length);
            ASSERT_EQ(Bytes(reinterpret_cast<const char*>(line), n), model::countline(count, word)) << length;
        }
}

} // namespace
