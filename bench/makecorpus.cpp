// Writes a collection of documents whose vocabulary keeps growing to its
// end, as real collections do, the same bytes on every machine:
//   makecorpus DOCUMENTS
// Each document mixes words common to all (Zipf-distributed) with names,
// numbers and identifiers of its own, some used once, some again and again.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "splitmix.h"

namespace {

SplitMix64 draw(0xC0FFEE);

std::uint64_t below(std::uint64_t n)
{
    return draw() % n;
}

std::string syllables(std::uint64_t n)
{
    static const char* const parts[] = {"ka", "ro", "mi", "tel", "san", "dor", "vi", "lun", "pe", "gra",
                                        "shi", "no", "bar", "ex", "qu", "zen", "fi", "mol", "ta", "ber"};
    std::string word;
    for (; n != 0; n /= 20)
        word += parts[n % 20];
    return word;
}

// An identifier as source code has them: a verb, a name, maybe a number.
std::string identifier()
{
    static const char* const verbs[] = {"get", "set", "make", "parse", "read", "write", "find", "update"};
    std::string name = syllables(400 + below(1u << 22));
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return verbs[below(8)] + name + (below(3) == 0 ? std::to_string(below(100)) : "");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "use as: makecorpus DOCUMENTS\n");
        return 2;
    }
    const long documents = std::atol(argv[1]);
    constexpr std::size_t common = 30000;
    std::vector<double> cumulative(common);
    double sum = 0;
    for (std::size_t r = 0; r < common; ++r)
        cumulative[r] = sum += 1.0 / static_cast<double>(r + 1);
    std::string text;
    for (long d = 0; d < documents; ++d) {
        // Names and identifiers of this document, each with how often it comes.
        std::vector<std::string> own;
        for (int i = 0; i < 16; ++i)
            own.push_back(i % 3 ? identifier() : syllables(20 + below(1u << 24)));
        text += "Document " + std::to_string(d) + ": " + own[0] + " " + own[1] + "\n\n";
        const long words = 1500 + static_cast<long>(below(1500));
        for (long w = 0; w < words; ++w) {
            const std::uint64_t kind = below(100);
            if (kind < 7)
                text += own[below(1 + below(own.size()))];
            else if (kind < 8)
                text += std::to_string(below(100000));
            else {
                const double u = draw.unit() * sum;
                std::size_t lo = 0, hi = common - 1;
                while (lo < hi) {
                    const std::size_t mid = (lo + hi) / 2;
                    (cumulative[mid] < u ? lo = mid + 1 : hi = mid);
                }
                text += syllables(lo + 1);
            }
            text += w % 14 == 13 ? ".\n" : " ";
        }
        text += "\n\n";
        if (text.size() > (1u << 20)) {
            std::fwrite(text.data(), 1, text.size(), stdout);
            text.clear();
        }
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
