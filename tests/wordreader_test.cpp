#include <gtest/gtest.h>

#include <random>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "counting/wordreader.h"
#include "literalreader.h"

namespace {

using Bytes = std::string;

// An input backed by an in-memory file, read through a block of any size so
// that words can be made to straddle block boundaries.
class MemoryInput {
public:
    MemoryInput(const Bytes& bytes, std::size_t blocksize) : block(blocksize)
    {
        fd = memfd_create("words", MFD_CLOEXEC);
        EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        lseek(fd, 0, SEEK_SET);
        EXPECT_TRUE(attachinput(in, fd, block.data(), block.size()));
    }
    ~MemoryInput() { close(fd); }

    Input in;

private:
    std::vector<unsigned char> block;
    int fd;
};

// One call of the reader: what it returned and the whole buffer after it.
struct Call {
    int last;
    Bytes buffer;
    bool operator==(const Call&) const = default;
};

std::vector<Call> readercalls(const Bytes& bytes, int minlen, std::size_t blocksize)
{
    minwordlen = minlen;
    MemoryInput input(bytes, blocksize);
    std::vector<Call> calls;
    unsigned char buf[maxwordlen + 1];
    int last;
    do {
        std::memset(buf, 0xAA, sizeof buf); // stale bytes must not survive a call
        wordhash h;
        last = readword(input.in, buf, maxwordlen, h);
        EXPECT_EQ(h, hashword(buf, maxwordlen)) << "word '" << buf << "'";
        calls.push_back({last, Bytes(reinterpret_cast<char*>(buf), sizeof buf)});
    } while (last >= 0);
    return calls;
}

std::vector<Call> literalcalls(const Bytes& bytes, int minlen)
{
    ByteStream stream{reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()};
    std::vector<Call> calls;
    unsigned char buf[maxwordlen + 1];
    int last;
    do {
        last = literalreadword(stream, buf, maxwordlen, minlen);
        calls.push_back({last, Bytes(reinterpret_cast<char*>(buf), sizeof buf)});
    } while (last >= 0);
    return calls;
}

// The words as the run sees them; a word that came with end of input is
// marked with a trailing '$'.
std::vector<Bytes> words(const Bytes& bytes, int minlen = 3)
{
    std::vector<Bytes> taken;
    for (const Call& call : readercalls(bytes, minlen, 4096)) {
        Bytes word = call.buffer.substr(0, call.buffer.find('\0'));
        if (call.last >= 0)
            taken.push_back(word);
        else if (!word.empty())
            taken.push_back(word + "$");
    }
    return taken;
}

using Words = std::vector<Bytes>;

TEST(WordReader, JoinsAndSplitsAtApostrophesBackticksAndHyphens)
{
    EXPECT_EQ(words("Hello, world"), (Words{"Hello", "world$"}));
    EXPECT_EQ(words("don't rock'n'roll 'tis "), (Words{"don't", "rock'n'roll", "'tis"}));
    EXPECT_EQ(words("dogs' "), (Words{"dogs'"}));
    EXPECT_EQ(words("``quoted'' "), (Words{"quoted'"}));
    EXPECT_EQ(words("well-known x-ray e-mail "), (Words{"well-known", "x-ray", "e-mail"}));
    EXPECT_EQ(words("well--known "), (Words{"well", "known"}));
    EXPECT_EQ(words("-abc abc- "), (Words{"abc", "abc"}));
    EXPECT_EQ(words("abc-'def "), (Words{"abc", "def"}));
    EXPECT_EQ(words("abc''def "), (Words{"abc'", "def"}));
    EXPECT_EQ(words("an it 3.14 007 "), (Words{"007"}));
    EXPECT_EQ(words("foo_bar "), (Words{"foo", "bar"}));
    EXPECT_EQ(words("abc-"), (Words{"abc$"}));
    EXPECT_EQ(words("x`y`z "), (Words{"x`y`z"}));
    EXPECT_EQ(words("`abc "), (Words{"abc"}));
}

TEST(WordReader, TreatsEveryByteAsOneOctet)
{
    EXPECT_EQ(words(Bytes("one\0two\0", 8)), (Words{"one", "two"}));
    EXPECT_EQ(words("caf\xE9 \xFF\x80\x81 "), (Words{"caf\xE9", "\xFF\x80\x81"}));
    EXPECT_EQ(words("The the THE "), (Words{"The", "the", "THE"}));
    EXPECT_EQ(words("tab\tline\nret\rend "), (Words{"tab", "line", "ret", "end"}));
}

TEST(WordReader, FindsNothingInInputWithoutLetters)
{
    EXPECT_EQ(words(""), Words{});
    EXPECT_EQ(words(" ,.-- `` -`- \n"), Words{});
    EXPECT_EQ(words("a'", 3), Words{});
    EXPECT_EQ(words("ab", 3), Words{});
    EXPECT_EQ(words("ab", 2), (Words{"ab$"}));
}

TEST(WordReader, CutsLongWordsAt62BytesWithoutSplittingThem)
{
    const Bytes letters100(100, 'q');
    EXPECT_EQ(words(letters100 + " next "), (Words{Bytes(62, 'q'), "next"}));

    const Bytes letters61(61, 'q');
    EXPECT_EQ(words(letters61 + "-x "), (Words{letters61}));
    // Trimming the hyphen leaves 61 bytes, too few: an empty word that still
    // came with a separator, not with end of input.
    EXPECT_EQ(words(letters61 + "-x ", 62), (Words{""}));
    EXPECT_EQ(words(Bytes(62, 'q') + "- "), (Words{Bytes(62, 'q')}));
    EXPECT_EQ(words(Bytes(62, 'q') + "'abc "), (Words{Bytes(62, 'q')}));
}

TEST(WordReader, MatchesTheByteAtATimeReaderOnRandomInput)
{
    // Bytes drawn to hit every rule: joiners next to each other and to
    // separators, high bytes, NULs, and letter runs near the 62-byte cut.
    std::mt19937 random(20261206);
    const Bytes alphabet = Bytes("aZ9\xE9\xFF\x80'`-- .,_\n", 15) + Bytes(1, '\0');
    for (int round = 0; round < 300; ++round) {
        Bytes input;
        const int pieces = static_cast<int>(random() % 40);
        for (int p = 0; p < pieces; ++p) {
            if (random() % 6 == 0)
                input += Bytes(55 + random() % 12, "xy"[random() % 2]);
            else
                input += alphabet[random() % alphabet.size()];
        }
        const int minlen = static_cast<int>(1 + random() % maxwordlen);
        const std::size_t blocksize = 1 + random() % 70;
        ASSERT_EQ(readercalls(input, minlen, blocksize), literalcalls(input, minlen))
            << "minwordlen " << minlen << ", block " << blocksize << ", input '" << input << "'";
    }
}

TEST(WordReader, MatchesTheByteAtATimeReaderForEveryMinimumLength)
{
    std::mt19937 random(7);
    Bytes input;
    for (int i = 0; i < 4000; ++i) {
        const unsigned r = random() % 100;
        if (r < 70)
            input += static_cast<char>('a' + random() % 3);
        else if (r < 80)
            input += ' ';
        else
            input += "'`-\xC3\x00"[random() % 5];
        if (random() % 500 == 0)
            input += Bytes(60 + random() % 5, 'w');
    }
    for (int minlen = 1; minlen <= maxwordlen; ++minlen) {
        for (const std::size_t blocksize : {std::size_t{1}, std::size_t{61}, std::size_t{1 << 16}})
            ASSERT_EQ(readercalls(input, minlen, blocksize), literalcalls(input, minlen))
                << "minwordlen " << minlen << ", block " << blocksize;
    }
}

TEST(WordReader, TellsLettersFromEverythingElse)
{
    for (int ch = -2; ch <= 257; ++ch)
        EXPECT_EQ(iswordchar(ch) == 1, ch <= 255 && literalisletter(ch)) << ch;
}

wordhash hashof(const Bytes& text)
{
    unsigned char buf[maxwordlen + 2] = {};
    std::memcpy(buf, text.data(), std::min<std::size_t>(text.size(), sizeof buf));
    return hashword(buf, maxwordlen);
}

TEST(Hash, HasItsKnownValues)
{
    EXPECT_EQ(hashof(""), 0u);
    EXPECT_EQ(hashof("a"), 0x8E740E72u);
    EXPECT_EQ(hashof("abc"), 0xB1E7EAA4u);
    EXPECT_EQ(hashof("the"), 0x138BC49Bu);
    EXPECT_EQ(hashof("aua"), 0x6F2BC855u);
    EXPECT_EQ(hashof("euH"), 0x6F2BC855u);
}

TEST(Hash, TakesHighBytesAsNegative)
{
    for (const Bytes text : {"caf\xE9", "\x80", "\xFF\xFE\x7F", "\xC3\xA9t\xC3\xA9"})
        EXPECT_EQ(hashof(text), literalhashword(reinterpret_cast<const unsigned char*>(text.c_str())));
}

TEST(Hash, ReadsAtMostMaxlenBytes)
{
    unsigned char buf[maxwordlen + 2];
    std::memset(buf, 'k', sizeof buf);
    buf[maxwordlen + 1] = 0;
    const wordhash h = hashword(buf, maxwordlen);
    EXPECT_EQ(buf[maxwordlen], 0);
    EXPECT_EQ(h, hashof(Bytes(maxwordlen, 'k')));
    EXPECT_NE(h, hashof(Bytes(maxwordlen - 1, 'k')));
    EXPECT_EQ(hashword(buf, 0), 0xFFFFFFFFu);
    EXPECT_EQ(hashword(buf, -3), 0xFFFFFFFFu);
    EXPECT_EQ(buf[0], 'k');
}

} // namespace
