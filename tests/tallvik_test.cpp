// tallvik against its model: the table and whole runs in this process on
// random input, then the built program as a user runs it from a shell.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <new>
#include <random>
#include <sstream>

#include "checks.h"
#include "kernels/kernels.h"

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

using model::countline;
using model::summary;

std::mt19937 random(20261207);

// Pieces drawn to hit every rule: joiners next to each other and to
// separators, high bytes, NULs, words that collide, runs near the 62-byte cut.
Bytes randomtext(unsigned pieces)
{
    static const Bytes alphabet("aZ9\xE9\xFF\x80'`-- .,_\n\0", 16), words[] = {"euH ", "aua ", "the ", "The "};
    Bytes text;
    for (unsigned r; pieces-- > 0;) {
        if ((r = random() % 24) == 0)
            text += Bytes(55 + random() % 12, "xy"[random() % 2]);
        else if (r < 4)
            text.append("w").append(std::to_string(random() % 30)).append(" ");
        else
            text += r < 8 ? words[r - 4] : Bytes(1, alphabet[r % 16]);
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
                    ASSERT_EQ(bit(&Masks::joiners), c == '\'' || c == '`' || c == '-');
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
        ASSERT_TRUE(matches(settings + randomtext(random() % (round % 97 ? 300 : 150000)))) << round;
    }
    // Words that run on over several blocks: after a plain word, after one
    // with a joiner that is too short for most lengths, so that the word the
    // byte reader returns begins blocks after the one it was asked to read,
    // and at the very end. Lengths, thread counts, tiers, file and pipe vary.
    const Bytes longest(70000, 'y');
    for (const Bytes& text : {"ab " + longest + " cd ab", "a-b " + longest + "-z a-b", longest + "'" + longest})
        for (char way = 0; way < 12; ++way)
            ASSERT_TRUE(matches(Bytes{char(4 + way % 2 + 6 * (way / 2 % 5)), char(2 + 3 * way), '\1'} + text)) << +way;
    EXPECT_TRUE(runmatches(randomtext(200000), 2, 2, false));
    EXPECT_EQ(runallocations, 0);
    // Standard output is written every 64 KiB: after a 17-byte line, the
    // 4095th line of 16 bytes straddles that with one byte left over.
    Bytes lines = "abcdefg ";
    for (int i = 10000; i < 15000; ++i)
        lines.append("w").append(std::to_string(i)).append(" ");
    EXPECT_TRUE(runmatches(lines, 1, 1, false));
}

const Bytes lengthnotice = "defaulting to a word length between 3 and 62 chars\n\a",
            countnotice = "defaulting to a minimum of 10 occurances of each word\n\a";

Bytes usage(const Bytes& program)
{
    return "tallvik " TALLVIK_VERSION " \u2014 word frequencies in constant memory \u2014 (c) 2026 the tallvik authors\nit "
           "will count the frequency of up to 400000 different words using a constant amount of about 3126kb of internal "
           "memory in up to eight decimal digits and should crash or buffer overflow/underrun under no condition I can "
           "currently think of. it could probably run a lot faster though under very sub-optimal conditions like loads of "
           "different words with a very homogeneous distribution. it also ignores character sets and assumes octets for "
           "those sets. Have as much fun abusing and using it as I had coding it!\n\nuse as '" + program +
           " [file] [[minwordlen] [[mincount]]]'\n";
}

// The lines of `words`, each counted `count` times.
Bytes counted(std::uint32_t count, const Bytes& words, Bytes lines = "")
{
    std::istringstream split(words);
    for (Bytes word; split >> word;)
        lines += countline(count, word);
    return lines;
}

Bytes times(int n, const Bytes& text) { return n == 0 ? "" : text + times(n - 1, text); }

// Each command line is run by bash in a directory of its own, where the file
// `in` holds `input`, `tallvik` is the program and $L makes reads fail; it
// ends with `status` and prints `out` and `err`.
struct Case {
    Bytes command, input;
    int status;
    Bytes out, err = "";
};

void expect(std::initializer_list<Case> cases)
{
    char dir[] = "/tmp/tallvik-test.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    for (const auto& [command, input, status, out, err] : cases) {
        std::ofstream(dir + Bytes("/in"), std::ios::binary) << input;
        std::ofstream(dir + Bytes("/command")) << command;
        // The rows set what they need; nothing of the caller's settings.
        std::system(("cd " + Bytes(dir) + " && env -u TALLVIK_THREADS -u TALLVIK_KERNEL PATH=" TALLVIK_DIR ":$PATH "
                     "L=" FAILREAD_LIBRARY " ASAN_OPTIONS=verify_asan_link_order=0 bash command >out 2>err </dev/null; "
                     "{ echo $?; cat out; echo; cat err; } >seen").c_str());
        std::ostringstream seen;
        seen << std::ifstream(dir + Bytes("/seen"), std::ios::binary).rdbuf();
        EXPECT_EQ(seen.str(), std::to_string(status) + "\n" + out + "\n" + err) << command;
    }
    std::system(("rm -rf " + Bytes(dir)).c_str());
}

TEST(Program, PrintsExactlyWhatItShould)
{
    const Bytes text = "a bb ccc dddd eeeee ffffff ggggggg";
    auto run = [&](int minlen, std::uint32_t mincount) { return model::run(text, minlen, mincount).first; };
    const Bytes example = "the cat and the dog and the bird";
    const Bytes numbers = "one two three two three three\n", counts = counted(2, "two") + counted(3, "three") + summary(6, 3, 3);
    const Bytes far = "alpha beta gamma " + Bytes(300000, ' ') + "alpha beta gamma delta delta\n";
    const Bytes unread = "tallvik: cannot read 'in': Input/output error\n";
    // Every kernel tier prints the same through the program; one that this
    // processor or build cannot run is refused.
    Bytes tiers, tierout, tiererr;
    for (Kernel kernel : allkernels) {
        tiers += Bytes(kernelname(kernel)) + " ";
        if (canrun(kernel, processorfeatures()))
            tierout += counts;
        else
            tiererr += "tallvik: cannot use TALLVIK_KERNEL '" + Bytes(kernelname(kernel)) + "': this processor cannot run it\n";
    }
    expect({
        {"(exec -a './my tallvik' tallvik); tallvik in 1 2 3", text, 2, usage("./my tallvik") + usage("tallvik")},
        {"tallvik --help; tallvik --version", "", 0, usage("tallvik") + "tallvik " TALLVIK_VERSION "\n"},
        {"for k in '' " + tiers + "avx3; do TALLVIK_KERNEL=$k tallvik in 3 2; done", numbers, 2, counts + tierout,
         tiererr + "tallvik: cannot use TALLVIK_KERNEL 'avx3': not one of portable, sse2, avx2, avx512, vbmi\n"},
        {"tallvik missing 3 2", "", 2, usage("tallvik"), "tallvik: cannot open 'missing': No such file or directory\n"},
        {"for a in 62 $' \\t7' 5x +4 4294967299 -4294967295; do tallvik in \"$a\" 1; done", text, 0,
         run(62, 1) + run(7, 1) + run(5, 1) + run(4, 1) + run(3, 1) + run(1, 1)},
        {"for a in 63 0 -5 abc '' x7 '- 7'; do tallvik in \"$a\" 1; done", text, 0, times(7, lengthnotice + run(3, 1))},
        {"tallvik in abc; for c in '' 0 x -1 4294967296; do tallvik in 5 $c; done", text, 0,
         lengthnotice + countnotice + run(3, 10) + times(5, countnotice + run(5, 10))},
        {"tallvik in", example, 0, lengthnotice + countnotice + summary(8, 3, 5)},
        {"tallvik in 3 2", example, 0, counted(3, "the") + counted(2, "and") + summary(8, 3, 5)},
        {"tallvik in 3 1", "Hello, world don't rock'n'roll 'tis dogs' ``quoted'' well-known x-ray e-mail well--known "
         "-abc abc- abc-'def abc''def an it 3.14 007 foo_bar abc-", 0,
         counted(1, "Hello world don't rock'n'roll 'tis dogs' quoted' well-known x-ray e-mail well known") +
             counted(4, "abc") + counted(2, "def") + counted(1, "abc' 007 foo bar") + summary(22, 3, 18)},
        {"tallvik in 3 2", "tail head tail", 0, counted(2, "tail") + summary(3, 3, 2)},
        {"tallvik in 5 1", "abcd abcde abcdef", 0, counted(1, "abcde abcdef") + summary(2, 5, 2)},
        // Trimming a cut word can leave nothing: the empty word still counts.
        {"tallvik in 62 1", Bytes(61, 'z') + "-x" + Bytes(1, '\0') + Bytes(61, 'z') + "-x " + Bytes(62, 'y'), 0,
         countline(2, "") + counted(1, Bytes(62, 'y')) + summary(3, 62, 2)},
        {"tallvik in 1 1", "euH aua aua", 0, counted(3, "euH") + summary(3, 1, 1)},
        {"tallvik in 3 2", Bytes("caf\xE9\0caf\xE9\n", 10), 0, countline(2, "caf\xE9") + summary(2, 3, 1)},
        // A pipe needs no temporary file until the table is full.
        {"cat in | TMPDIR=/no tallvik /dev/stdin 3 2; mkfifo p; cat in >p & tallvik p 3 2", numbers, 0, counts + counts},
        {"cat in | tallvik - 3 2; tallvik - 3 2 <in; cp in ./-; tallvik ./- 3 2", numbers, 0, counts + counts + counts},
        // Standard input is a file of which something has read 19 bytes.
        {"{ head -c 19 >/dev/null; tallvik - 1 1; } <in", "skipped words here first words", 0,
         counted(1, "first words") + summary(2, 1, 2)},
        {"tallvik . 3 2", "", 2, "", "tallvik: cannot read '.': Is a directory\n"},
        {"tallvik in 3 1 >/dev/full", numbers, 2, "", "tallvik: cannot write standard output: No space left on device\n"},
        {"seq -f w%g 300000 >many; tallvik many 3 1 | head -c 10", "", 0, "       1 w"},
        // Reads fail after the first 1000 bytes, in pass two, and never.
        {"for n in 1000 $(($(stat -c %s in) + 100)) 9999999; do LD_PRELOAD=$L FAILREAD_AFTER=$n tallvik in 3 2; done",
         far, 0, counted(2, "alpha beta gamma") + counted(2, "alpha beta gamma delta") + summary(8, 3, 4),
         unread + unread},
        // With no thread to spare, one does all the work; a thread that cannot
        // start once others have fails the run.
        {"for t in 2 4; do TALLVIK_THREADS=$t LD_PRELOAD=$L FAILREAD_THREADS=0 tallvik in 3 2; done; "
         "TALLVIK_THREADS=4 LD_PRELOAD=$L FAILREAD_THREADS=1 tallvik in 3 2", numbers, 2, counts + counts,
         "tallvik: cannot start a thread for 'in': Resource temporarily unavailable\n"},
        // Four threads, three of them reading ranges of the file at once.
        {"for n in 0 1000 100000; do TALLVIK_THREADS=4 LD_PRELOAD=$L FAILREAD_AFTER=$n tallvik in 3 2; done", far, 2,
         "", times(3, unread)},
        // Between the passes the first delta is overwritten, or cut off.
        {"for n in 300034 300024; do cp in x; LD_PRELOAD=$L FAILREAD_CHANGE=$n tallvik x 3 2; done", far, 2,
         times(2, counted(2, "alpha beta gamma")), times(2, "tallvik: cannot read 'x': the file changed after its words were counted\n")},
    });
}

TEST(Program, KeepsItsLimits)
{
    expect({
        {"truncate -s 4G s && printf 'after the mark after the mark' >>s && tallvik s 3 1000", "", 0, summary(6, 3, 3)},
        // The words after the first 400000 replace words seen once; "keep"
        // is seen again and again and survives.
        {"awk 'BEGIN { for (i = 0; i < 410000; i++) { printf \"w%d \", i; if (i % 1000 == 0) printf \"keep \" } }' "
         ">in; tallvik in 2 400; cat in | tallvik /dev/stdin 2 400; "
         "cat in | TALLVIK_THREADS=1 TMPDIR=/no tallvik /dev/stdin 2 400",
         "", 2, times(2, countline(410, "keep") + summary(410410, 2, 400000)),
         times(2, "tallvik: the table filled up with 400000 distinct words; some counts may be incomplete\n") +
             "tallvik: cannot write a temporary file for '/dev/stdin': No such file or directory\n"},
        // Once the table is full, "xx" is replaced by "yy", then comes back
        // and stays: it is printed once, where it first occurred, though it
        // was recorded twice, and "zz", which stays too, is still printed
        // after it. (Some of the other words share a hash, so it takes more
        // than 400000 of them to fill the table.)
        {"awk 'BEGIN { for (i = 0; i < 400100; i++) printf \"w%d \", i; print \"xx yy xx xx xx zz zz zz\" }' >in; "
         "tallvik in 2 3; cat in | tallvik /dev/stdin 2 3",
         "", 1, times(2, countline(3, "xx") + countline(3, "zz") + summary(400108, 2, 400000)),
         times(2, "tallvik: the table filled up with 400000 distinct words; some counts may be incomplete\n")},
        // Pass two takes the words of a large file from memory while there
        // is room, and reads the file again for the rest.
        {"seq -f \"w%g-x'y\" 250000 >in; tallvik in 1 1 >file; cat in | tallvik /dev/stdin 1 1 | cmp - file && wc -l <file",
         "", 0, "249994\n"},
        // Far past the table's capacity, records go on in the temporary file:
        // a file's offsets with one thread, which has the least room for
        // them, and a pipe's words with any number, since the words to print
        // alone outgrow the room two threads have. So pass two reads on from
        // the temporary file while it still holds words to print. Every
        // thread count prints the same from a file and a pipe.
        {"seq -f w%.0f-and-a-word-long-enough-to-outgrow-the-room 900000 >in; TALLVIK_THREADS=1 tallvik in 1 1 >file; "
         "wc -l <file; for t in 1 2 3 4; do TALLVIK_THREADS=$t tallvik in 1 1 | cmp - file; "
         "cat in | TALLVIK_THREADS=$t tallvik - 1 1 | cmp - file; done",
         "", 0, "400002\n", times(9, "tallvik: the table filled up with 400000 distinct words; some counts may be incomplete\n")},
        // Without the temporary file the run fails and prints nothing, whether
        // the counter, the one reader or the counter behind three readers
        // writes the records; and it reads no further, so reads that would
        // fail past 24 MB are never made.
        {"seq -f w%.0f 3000000 >in; for t in 1 2 4; do TALLVIK_THREADS=$t TMPDIR=/no LD_PRELOAD=$L "
         "FAILREAD_AFTER=24000000 tallvik in 1 1; done",
         "", 2, "",
         times(3, "tallvik: cannot write a temporary file for 'in': No such file or directory\n")},
        // A pass that lasts a while shows its progress, but only on a terminal.
        {"seq -f w%g 20000 >in; script -qec '(cat in; sleep 1.5; cat in) | tallvik /dev/stdin 2 3 >printed' /dev/null "
         ">screen; head -c 18 screen; tail -c 4 screen; cat printed", "", 0,
         "\rtallvik: pass 1: \r\033[K" + summary(40000, 2, 20000)},
    });
}

} // namespace
