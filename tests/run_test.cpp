// The built program, run as a user runs it: whole outputs compared byte for
// byte, and exit statuses.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "literalrun.h"

namespace {

using Bytes = std::string;

const Bytes lengthnotice = "defaulting to a word length between 3 and 62 chars\n\a";
const Bytes countnotice = "defaulting to a minimum of 10 occurances of each word\n\a";

Bytes usagebody(const Bytes& program)
{
    return "it will count the frequency of up to 400000 different words using a constant amount of about "
           "3126kb of internal memory in up to eight decimal digits and should crash or buffer "
           "overflow/underrun under no condition I can currently think of. it could probably run a lot "
           "faster though under very sub-optimal conditions like loads of different words with a very "
           "homogeneous distribution. it also ignores character sets and assumes octets for those sets. "
           "Have as much fun abusing and using it as I had coding it!\n\nuse as '" +
           program + " [file] [[minwordlen] [[mincount]]]'\n";
}

Bytes slurp(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

struct Outcome {
    Bytes out;
    Bytes err;
    int status; // the exit status, or 128 + the signal that ended it
};

class Run : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tallvik-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string file(const std::string& name, const Bytes& bytes)
    {
        const std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Runs the program with `args` after argv[0], standard output going to
    // `outpath` (a file of its own unless given).
    Outcome tallvik(const std::vector<std::string>& args, const std::string& argv0 = "tallvik",
                    const std::string& outpath = "", const std::vector<std::string>& env = {})
    {
        std::vector<std::string> argv{argv0};
        argv.insert(argv.end(), args.begin(), args.end());
        return spawn(TALLVIK_BINARY, argv, outpath, env);
    }

    // Runs a shell command line in which $T is the program.
    Outcome shell(const std::string& command) { return spawn("/bin/sh", {"sh", "-c", command}, "", {}); }

    Outcome spawn(const std::string& path, const std::vector<std::string>& args, const std::string& outpath,
                  const std::vector<std::string>& env)
    {
        const std::string out = outpath.empty() ? dir + "/stdout" : outpath;
        const std::string err = dir + "/stderr";
        const pid_t pid = fork();
        if (pid == 0) {
            std::vector<char*> argv;
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            const int in = open("/dev/null", O_RDONLY);
            dup2(in, 0);
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
            setenv("T", TALLVIK_BINARY, 1);
            for (const std::string& setting : env)
                putenv(const_cast<char*>(setting.c_str()));
            execv(path.c_str(), argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return {outpath.empty() ? slurp(out) : Bytes(), slurp(err),
                WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
    }

    std::string dir;
};

TEST_F(Run, ShowsUsageForAWrongNumberOfArguments)
{
    for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{"a", "1", "2", "3"}}) {
        const Outcome run = tallvik(args, "./my tallvik");
        const std::size_t credit = run.out.find('\n') + 1;
        ASSERT_GT(credit, 1u);
        EXPECT_EQ(run.out.substr(credit), usagebody("./my tallvik"));
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.status, 2);
    }
}

TEST_F(Run, NamesAFileItCannotOpen)
{
    const Outcome run = tallvik({dir + "/missing.txt", "3", "2"});
    EXPECT_EQ(run.out.substr(run.out.find('\n') + 1), usagebody("tallvik"));
    EXPECT_EQ(run.err, "tallvik: cannot open '" + dir + "/missing.txt': No such file or directory\n");
    EXPECT_EQ(run.status, 2);
}

TEST_F(Run, PrintsTheWorkedExample)
{
    const std::string text = file("text", "the cat and the dog and the bird");
    Outcome run = tallvik({text});
    EXPECT_EQ(run.out, lengthnotice + countnotice + summary(8, 3, 5));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);

    run = tallvik({text, "3", "2"});
    EXPECT_EQ(run.out, "       3 the\n       2 and\n" + summary(8, 3, 5));
    EXPECT_EQ(run.status, 0);
}

TEST_F(Run, ReadsNumbersAsAtoiDoesAndDefaultsTheRest)
{
    const std::string text = file("text", "a bb ccc dddd eeeee ffffff ggggggg");
    auto minimumlength = [&](const std::string& arg) {
        const Outcome run = tallvik({text, arg, "1"});
        const std::size_t at = run.out.find("larger than ");
        return (run.out.starts_with(lengthnotice) ? "default " : "") +
               run.out.substr(at + 12, run.out.find(' ', at + 12) - at - 12);
    };
    EXPECT_EQ(minimumlength("62"), "62");
    EXPECT_EQ(minimumlength("1"), "1");
    EXPECT_EQ(minimumlength(" \t7"), "7");
    EXPECT_EQ(minimumlength("5x"), "5");
    EXPECT_EQ(minimumlength("+4"), "4");
    EXPECT_EQ(minimumlength("4294967299"), "3"); // wraps around to 3
    EXPECT_EQ(minimumlength("-4294967295"), "1");
    for (const std::string bad : {"63", "0", "-5", "abc", "", "x7", "- 7"})
        EXPECT_EQ(minimumlength(bad), "default 3") << bad;

    Outcome run = tallvik({text, "5", "0"});
    EXPECT_EQ(run.out, countnotice + summary(3, 5, 3));
    run = tallvik({text, "5", "x"});
    EXPECT_EQ(run.out, countnotice + summary(3, 5, 3));
    run = tallvik({text, "5", "1"});
    EXPECT_EQ(run.out, countline(1, "eeeee") + countline(1, "ffffff") + countline(1, "ggggggg") + summary(3, 5, 3));
    run = tallvik({text, "abc"});
    EXPECT_EQ(run.out, lengthnotice + countnotice + summary(5, 3, 5));
}

TEST_F(Run, HandlesTheEdgesOfTheInput)
{
    Outcome run = tallvik({file("empty", "")});
    EXPECT_EQ(run.out, lengthnotice + countnotice + summary(0, 3, 0));
    EXPECT_EQ(run.status, 0);

    // The last word has no separator after it.
    run = tallvik({file("open", "tail head tail"), "3", "2"});
    EXPECT_EQ(run.out, countline(2, "tail") + summary(3, 3, 2));

    // Words of exactly the minimum length count, whatever the summary says.
    run = tallvik({file("five", "abcd abcde abcdef"), "5", "1"});
    EXPECT_EQ(run.out, countline(1, "abcde") + countline(1, "abcdef") + summary(2, 5, 2));

    // A long word that trimming empties is still a word: the empty one.
    run = tallvik({file("cut", Bytes(61, 'z') + "-x " + Bytes(61, 'z') + "-x " + Bytes(62, 'y')), "62", "1"});
    EXPECT_EQ(run.out, countline(2, "") + countline(1, Bytes(62, 'y')) + summary(3, 62, 2));

    // Words with one hash are one word, printed as first met.
    run = tallvik({file("collide", "euH aua aua"), "1", "1"});
    EXPECT_EQ(run.out, countline(3, "euH") + summary(3, 1, 1));

    // Bytes are printed as they are.
    run = tallvik({file("bytes", Bytes("caf\xE9\0caf\xE9\n", 10)), "3", "2"});
    EXPECT_EQ(run.out, countline(2, "caf\xE9") + summary(2, 3, 1));
}

TEST_F(Run, PrintsWhatTheLiteralDesignPrints)
{
    std::mt19937 random(1);
    const std::vector<Bytes> vocabulary = {"the",  "The",   "don't",  "well-known", "x-ray", "'tis", "dogs'",
                                           "ab",   "a",     "caf\xE9", "euH",        "aua",   "007",  "--",
                                           "``",   "e-mail", "rock'n'roll", Bytes(70, 'L'), "it's-", "-"};
    const Bytes separators = Bytes(" \n\t,.;_\0\"", 9);
    for (int round = 0; round < 25; ++round) {
        Bytes text;
        const int count = static_cast<int>(random() % 3000);
        for (int i = 0; i < count; ++i) {
            if (random() % 4 == 0)
                text.append("w").append(std::to_string(random() % 400));
            else
                text += vocabulary[random() % vocabulary.size()];
            if (random() % 5 != 0)
                text += separators[random() % separators.size()];
        }
        const int minlen = static_cast<int>(1 + random() % 8);
        const std::uint32_t mincount = 1 + random() % 12;
        const Outcome run =
            tallvik({file("random", text), std::to_string(minlen), std::to_string(mincount)});
        ASSERT_EQ(run.out, literalrun(text, minlen, mincount)) << "round " << round;
        ASSERT_EQ(run.status, 0);
    }
}

TEST_F(Run, ReadsInputThatCannotBeRewound)
{
    const std::string text = file("text", "one two three two three three\n");
    const Bytes expected = countline(2, "two") + countline(3, "three") + summary(6, 3, 3);
    Outcome run = shell("cat '" + text + "' | \"$T\" /dev/stdin 3 2");
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);

    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    run = shell("cat '" + text + "' > '" + dir + "/fifo' & \"$T\" '" + dir + "/fifo' 3 2");
    EXPECT_EQ(run.out, expected);

    run = shell("cat '" + text + "' | TMPDIR=/nonexistent \"$T\" /dev/stdin 3 2");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "tallvik: cannot make a temporary copy of '/dev/stdin': No such file or directory\n");
    EXPECT_EQ(run.status, 2);
}

TEST_F(Run, FailsOnADirectoryWithoutASummary)
{
    const Outcome run = tallvik({dir, "3", "2"});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "tallvik: cannot read '" + dir + "': Is a directory\n");
    EXPECT_EQ(run.status, 2);
}

TEST_F(Run, FailsOnAReadErrorInEitherPassWithoutASummary)
{
    // delta first occurs far into the file, so the second pass must read on.
    const Bytes text = "alpha beta gamma " + Bytes(300000, ' ') + "alpha beta gamma delta delta\n";
    const std::string path = file("text", text);
    auto failingafter = [&](std::size_t bytes) {
        return tallvik({path, "3", "2"}, "tallvik", "",
                       {"LD_PRELOAD=" FAILREAD_LIBRARY, "FAILREAD_AFTER=" + std::to_string(bytes),
                        "ASAN_OPTIONS=verify_asan_link_order=0"});
    };
    const Bytes message = "tallvik: cannot read '" + path + "': Input/output error\n";

    Outcome run = failingafter(1000);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, message);
    EXPECT_EQ(run.status, 2);

    run = failingafter(text.size() + 100);
    EXPECT_EQ(run.out, countline(2, "alpha") + countline(2, "beta") + countline(2, "gamma"));
    EXPECT_EQ(run.err, message);
    EXPECT_EQ(run.status, 2);

    run = failingafter(text.size() * 2);
    EXPECT_EQ(run.out, countline(2, "alpha") + countline(2, "beta") + countline(2, "gamma") +
                           countline(2, "delta") + summary(8, 3, 4));
    EXPECT_EQ(run.status, 0);
}

TEST_F(Run, FailsOnAFileItMayNotRead)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root may read anything";
    const std::string path = file("secret", "words");
    chmod(path.c_str(), 0);
    const Outcome run = tallvik({path, "3", "2"});
    EXPECT_EQ(run.err, "tallvik: cannot open '" + path + "': Permission denied\n");
    EXPECT_EQ(run.status, 2);
}

TEST_F(Run, CountsWordsBeyondFourGibibytes)
{
    // A sparse file: four gibibytes of NULs, which separate words, then words.
    const std::string path = dir + "/sparse";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_EQ(ftruncate(fd, off_t{1} << 32), 0);
    const Bytes words = "after the mark after the mark";
    ASSERT_EQ(pwrite(fd, words.data(), words.size(), off_t{1} << 32), static_cast<ssize_t>(words.size()));
    close(fd);
    const Outcome run = tallvik({path, "3", "1000"});
    EXPECT_EQ(run.out, summary(6, 3, 3));
    EXPECT_EQ(run.status, 0);
}

TEST_F(Run, FailsWhenStandardOutputCannotBeWritten)
{
    const Outcome run = tallvik({file("text", "one two two"), "3", "1"}, "tallvik", "/dev/full");
    EXPECT_EQ(run.err, "tallvik: cannot write standard output: No space left on device\n");
    EXPECT_EQ(run.status, 2);
}

TEST_F(Run, EndsQuietlyWhenItsReaderGoesAway)
{
    Bytes text;
    for (int i = 0; i < 300000; ++i)
        text.append("word").append(std::to_string(i)).append(" ");
    const Outcome run = shell("\"$T\" '" + file("many", text) + "' 3 1 | head -c 10");
    EXPECT_EQ(run.out, "       1 w");
    EXPECT_EQ(run.err, "");
}

TEST_F(Run, ShowsProgressOnlyOnATerminal)
{
    Bytes half;
    for (int i = 0; i < 20000; ++i)
        half.append("word").append(std::to_string(i % 300)).append(" ");
    const std::string text = file("text", half);
    const Bytes expected = literalrun(half + half, 3, 2);
    // The pause makes the first pass last long enough to be worth showing.
    const std::string command = "(cat '" + text + "'; sleep 1.5; cat '" + text + "') | \"$T\" /dev/stdin 3 2";

    int terminal;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
        setenv("T", TALLVIK_BINARY, 1);
        execl("/bin/sh", "sh", "-c", (command + " > '" + dir + "/stdout'").c_str(), nullptr);
        _exit(127);
    }
    Bytes screen;
    char chunk[4096];
    for (ssize_t got; (got = read(terminal, chunk, sizeof chunk)) > 0;)
        screen.append(chunk, static_cast<std::size_t>(got));
    int status;
    waitpid(pid, &status, 0);
    close(terminal);
    EXPECT_EQ(slurp(dir + "/stdout"), expected);
    EXPECT_EQ(screen.rfind("\rtallvik: pass 1: ", 0), 0u) << screen;
    EXPECT_TRUE(screen.ends_with("\r\033[K")) << screen;

    const Outcome run = shell(command);
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
}

TEST_F(Run, ReportsAFullTableAndStillPrintsTheReport)
{
    // 400000 distinct words fill the table; the ones after them replace
    // words seen once, and "keep" survives because it is seen again and again.
    Bytes text;
    for (int i = 0; i < 410000; ++i) {
        text.append("w").append(std::to_string(i)).append(" ");
        if (i % 1000 == 0)
            text += "keep ";
    }
    const Outcome run = tallvik({file("huge", text), "2", "400"});
    EXPECT_EQ(run.out, countline(410, "keep") + summary(410410, 2, 400000));
    EXPECT_EQ(run.err, "tallvik: the table filled up with 400000 distinct words; some counts may be incomplete\n");
    EXPECT_EQ(run.status, 1);
}

} // namespace
