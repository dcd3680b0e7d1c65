// Writes the access log of a busy web server, the same bytes on every
// machine: makelogs LINES
// Each line has a client's address, a timestamp, a request whose path holds
// numeric ids, a status and a size, a referrer, one of a few user agents, a
// request id and a session key in hexadecimal. Ids, sizes, request ids and
// session keys are new words line after line: a log fills the table within
// its first minutes, as real ones do.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "splitmix.h"

namespace {

SplitMix64 draw(0x10657);

std::uint64_t below(std::uint64_t n)
{
    return draw() % n;
}

// Small ranks far more often than large ones, as clients and users come.
std::uint64_t skewed(std::uint64_t n)
{
    const double u = draw.unit();
    return static_cast<std::uint64_t>(static_cast<double>(n) * u * u * u);
}

std::string hex(int digits)
{
    static const char symbols[] = "0123456789abcdef";
    std::string key;
    for (std::uint64_t bits = draw(); digits-- > 0; bits >>= 4) {
        if (bits == 0)
            bits = draw();
        key += symbols[bits & 15];
    }
    return key;
}

std::string address(std::uint64_t client)
{
    SplitMix64 octets(client);
    return std::to_string(1 + octets() % 223) + "." + std::to_string(octets() % 256) + "." +
           std::to_string(octets() % 256) + "." + std::to_string(1 + octets() % 254);
}

std::string timestamp(std::uint64_t second)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::uint64_t day = second / 86400;
    char text[40];
    std::snprintf(text, sizeof text, "[%02u/%s/2026:%02u:%02u:%02u +0000]", static_cast<unsigned>(1 + day % 28),
                  months[day / 28 % 12], static_cast<unsigned>(second / 3600 % 24),
                  static_cast<unsigned>(second / 60 % 60), static_cast<unsigned>(second % 60));
    return text;
}

std::string request(std::uint64_t& order)
{
    const std::string user = std::to_string(100000 + skewed(2000000));
    switch (below(8)) {
    case 0:
        return "GET /static/js/app." + hex(8) + ".js";
    case 1:
        return "GET /static/img/product-" + std::to_string(skewed(500000)) + ".jpg";
    case 2:
        return "POST /api/v2/users/" + user + "/orders";
    case 3:
        return "GET /api/v2/users/" + user + "/orders/" + std::to_string(order++);
    case 4:
        return "GET /search?q=" + std::to_string(skewed(90000)) + "&page=" + std::to_string(1 + skewed(20));
    default:
        return "GET /api/v2/products/" + std::to_string(skewed(300000)) + "?ref=" + user;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "use as: makelogs LINES\n");
        return 2;
    }
    static const char* const agents[] = {
        "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0 Safari/537.36",
        "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:133.0) Gecko/20100101 Firefox/133.0",
        "Mozilla/5.0 (iPhone; CPU iPhone OS 18_1 like Mac OS X) AppleWebKit/605.1.15 Mobile/15E148",
        "curl/8.11.0", "Prometheus/2.55.1", "python-requests/2.32.3"};
    static const char* const statuses[] = {"200", "200", "200", "200", "304", "201", "404", "500"};
    const long lines = std::atol(argv[1]);
    std::uint64_t second = 0, order = 7000000, session = 0;
    std::string key = hex(16), line;
    for (long n = 0; n < lines; ++n) {
        second += below(3) == 0;
        // A session lasts some twenty requests.
        if (below(20) == 0) {
            key = hex(16);
            session = skewed(50000);
        }
        line = address(session) + " - - " + timestamp(second) + " \"" + request(order) + " HTTP/1.1\" " +
               statuses[below(8)] + " " + std::to_string(200 + below(60000)) + " \"" +
               (below(2) == 0 ? "-" : "https://shop.example.com/p/" + std::to_string(skewed(300000))) + "\" \"" +
               agents[skewed(6)] + "\" rid=" + hex(32) + " session=" + key + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return std::ferror(stdout) ? 1 : 0;
}
