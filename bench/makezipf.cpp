// Writes a text of Zipf-distributed words to standard output, the same bytes
// on every machine: makezipf TOKENS VOCABULARY
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "splitmix.h"

namespace {

SplitMix64 draw(0x7A11F1C);

// Distinct ranks give distinct words of three letters or more; frequent
// words are short, as in real text.
std::string spell(std::uint64_t rank)
{
    std::string word;
    for (std::uint64_t n = rank + 26 * 26; n != 0; n /= 26)
        word += static_cast<char>('a' + n % 26);
    return word;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "use as: makezipf TOKENS VOCABULARY\n");
        return 2;
    }
    const std::uint64_t tokens = std::strtoull(argv[1], nullptr, 10);
    const std::size_t vocabulary = std::strtoull(argv[2], nullptr, 10);
    std::vector<double> cumulative(vocabulary);
    double sum = 0;
    for (std::size_t r = 0; r < vocabulary; ++r)
        cumulative[r] = sum += 1.0 / static_cast<double>(r + 1);
    std::string line;
    for (std::uint64_t t = 0; t < tokens; ++t) {
        const double u = draw.unit() * sum;
        const auto rank = std::lower_bound(cumulative.begin(), cumulative.end(), u) - cumulative.begin();
        line += spell(static_cast<std::uint64_t>(rank));
        line += t % 12 == 11 ? '\n' : ' ';
        if (line.size() > 60000) {
            std::fwrite(line.data(), 1, line.size(), stdout);
            line.clear();
        }
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    return 0;
}
