// The built program as a user runs it from a shell: one row per command line,
// with its exact output and status.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "checks.h"
#include "kernels/kernels.h"

namespace {

using model::countline;
using model::summary;

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
        // Interrupted reads are made again, and an end of input read after
        // one is still the end.
        {"for t in 1 2; do TALLVIK_THREADS=$t timeout 20 env LD_PRELOAD=$L FAILREAD_EINTR=1 tallvik in 3 2; done; "
         "cat in | timeout 20 env LD_PRELOAD=$L FAILREAD_EINTR=1 tallvik /dev/stdin 3 2",
         far, 0, times(3, counted(2, "alpha beta gamma delta") + summary(8, 3, 4))},
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
        // Words seen once are put out of a full table, come back and stay:
        // each is recorded twice, but printed once, where it first occurred,
        // and the word after them too, with one thread or two, where pass two
        // prints the first records in two halves, one on each, which leave
        // such words to drop until both are done.
        {"awk 'function back(from, to) { for (i = from; i < to; i++) print \"z\" i \" w\" i \" w\" i } "
         "function again(from, to) { for (i = from; i < to; i++) print \"w\" i } "
         "BEGIN { again(0, 400100); again(0, 100000); again(0, 1); back(100000, 100500); again(100500, 250000); "
         "back(250000, 250500); print \"last last\" }' >in; tallvik in 2 2 >two; "
         "TALLVIK_THREADS=1 tallvik in 2 2 | cmp - two; cat in | tallvik - 2 2 | cmp - two; "
         "sort two | uniq -d | wc -l; grep -c ' w1004[0-9][0-9]$' two; grep -c ' w2504[0-9][0-9]$' two; tail -3 two",
         "", 0, "0\n100\n100\n" + countline(2, "last") + summary(652603, 2, 400000),
         times(3, "tallvik: the table filled up with 400000 distinct words; some counts may be incomplete\n")},
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
        // With every core busy the reader stops helping and the counter reads
        // for itself: the output stays that of one thread.
        {"seq -f w%g 300000 >part; cat part part part part >in; TALLVIK_THREADS=1 tallvik in 2 2 >one; "
         "yes >/dev/null & a=$!; yes >/dev/null & b=$!; for i in 1 2 3; do tallvik in 2 2 | cmp - one; "
         "cat in | tallvik - 2 2 | cmp - one; done; kill $a $b; wc -l <one",
         "", 0, "299993\n"},
        // Without the temporary file the run fails and prints nothing, whether
        // the counter, the one reader or the counter behind three readers
        // writes the records; and it reads no further, so reads that would
        // fail past 24 MB are never made.
        {"seq -f w%.0f 3000000 >in; for t in 1 2 4; do TALLVIK_THREADS=$t TMPDIR=/no LD_PRELOAD=$L "
         "FAILREAD_AFTER=24000000 tallvik in 1 1; done",
         "", 2, "",
         times(3, "tallvik: cannot write a temporary file for 'in': No such file or directory\n")},
        // Nor with a temporary file on a full disk.
        {"seq -f w%.0f 3000000 >in; for t in 1 2 4; do TALLVIK_THREADS=$t LD_PRELOAD=$L FAILREAD_FULL=1 "
         "tallvik in 1 1; done",
         "", 2, "",
         times(3, "tallvik: cannot write a temporary file for 'in': No space left on device\n")},
        // A pass that lasts a while shows its progress, but only on a terminal,
        // at most four times a second, and clears it before saying it failed.
        {"seq -f w%g 200000 >in; head -n 15000 in >part; script -qec '(cat part; sleep 1.5; cat in) | tallvik "
         "/dev/stdin 2 3 >printed' /dev/null >screen; head -c 18 screen; tail -c 4 screen; cat printed; "
         "[ $(tr -cd '\\r' <screen | wc -c) -le 3 ] && script -qec '(cat part; sleep 1.5; cat in) | "
         "LD_PRELOAD=$L FAILREAD_AFTER=400000 tallvik /dev/stdin 2 3' /dev/null | tail -c 59", "", 0,
         "\rtallvik: pass 1: \r\033[K" + summary(215000, 2, 199996) +
             "\r\033[Ktallvik: cannot read '/dev/stdin': Input/output error\r\n"},
    });
}

} // namespace
