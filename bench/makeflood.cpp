// Writes a text built to crowd a hash table: distinct words whose hashes all
// share their low 12 bits, or, with "plain", as many ordinary distinct words
// for comparison. Each word is repeated ROUNDS times, in rounds.
//   makeflood WORDS ROUNDS [plain]
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "words/word.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "use as: makeflood WORDS ROUNDS [plain]\n");
        return 2;
    }
    const std::size_t wanted = std::strtoull(argv[1], nullptr, 10);
    const int rounds = std::atoi(argv[2]);
    const bool plain = argc > 3 && std::strcmp(argv[3], "plain") == 0;
    std::vector<std::string> words;
    for (std::uint64_t n = 26 * 26; words.size() < wanted; ++n) {
        unsigned char buf[maxwordlen + 2] = {};
        int len = 0;
        for (std::uint64_t v = n; v != 0; v /= 26)
            buf[len++] = static_cast<unsigned char>('a' + v % 26);
        if (plain || (wordbytes::hashbytes(buf, static_cast<std::size_t>(len)) & 0xFFF) == 0)
            words.emplace_back(reinterpret_cast<char*>(buf), len);
    }
    std::string text;
    for (int r = 0; r < rounds; ++r) {
        for (const std::string& word : words) {
            text += word;
            text += ' ';
        }
        text += '\n';
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
