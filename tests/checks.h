// The table and the whole run held to the model, shared by the unit tests and
// the fuzz target. Each check says whether the two agree.
#pragma once

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "run/run.h"
#include "kernels/kernels.h"
#include "model.h"
#include "table/frequencytable.h"

using model::Bytes;

// Sets an environment variable for as long as it lives, then puts back what
// was there, so that no check leaves a setting behind for the next.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name(name)
    {
        if (const char* old = std::getenv(name))
            saved = old, wasset = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { wasset ? setenv(name, saved.c_str(), 1) : unsetenv(name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name;
    std::string saved;
    bool wasset = false;
};

// The kernel tiers this build can run on this processor, slowest first.
inline std::vector<Kernel> runnablekernels()
{
    std::vector<Kernel> tiers;
    for (Kernel kernel : allkernels)
        if (canrun(kernel, processorfeatures()))
            tiers.push_back(kernel);
    return tiers;
}

// Where operator new is replaced to count into `allocations`, runmatches
// leaves in `runallocations` how many the program itself made.
inline std::atomic<long> allocations{0};
inline long runallocations = 0;

// A hash for each byte: small ones and 0, ones alike in their low bits, spread
// ones. The byte is taken unsigned, as a char is on some processors only.
inline std::uint32_t poolhash(char c)
{
    const std::uint32_t b = static_cast<unsigned char>(c);
    return b < 8 ? b : b % 3 ? b * 0x9E3779B1u : b << 20;
}

// Adds the hash of each byte of `ops` up to a 0xFF, then finds each word and
// drops those counted at least the byte after it, as the second pass does.
// Table and list agree on each step's count and on which adds make entries,
// on every count after the adds, and on how many words will be dropped; a
// word given a new entry once the table was full is in it only if the table
// says it may be.
template <std::int32_t Capacity>
bool tablematches(const Bytes& ops, std::uint64_t key)
{
    FrequencyTable<Capacity> fast;
    fast.setkey(key);
    model::List list(Capacity);
    std::int32_t made = 0;
    Bytes madelate;
    auto agree = [&] {
        for (char b : madelate)
            if (!fast.mayhavejoinedlate(poolhash(b)) && list.findword(poolhash(b)) != 0)
                return false;
        for (char b = 0; b != '\xFF'; ++b)
            if (fast.find(poolhash(b)) != list.findword(poolhash(b)))
                return false;
        return fast.size() == list.used;
    };
    const std::size_t adds = std::min(ops.find('\xFF'), ops.size());
    bool same = true;
    for (std::size_t i = 0; same && i < adds; ++i) {
        const std::uint32_t h = poolhash(ops[i]);
        std::uint16_t place;
        const bool fresh = fast.add(&h, 1, &place) == 1;
        if (fresh && made++ >= Capacity)
            madelate += ops[i];
        same = fresh == list.addword(h) && fast.find(h) == list.findword(h) && fast.size() == list.used;
    }
    const std::uint32_t minimum = adds + 1 < ops.size() ? static_cast<unsigned char>(ops[adds + 1]) % 30 : 10;
    same = same && agree();
    const std::uint32_t least = std::max(minimum, 1u); // counts of entries
    std::int32_t left = 0;
    for (std::int32_t k = 0; k < list.used; ++k)
        left += list.counts[k] >= least;
    same = same && fast.atleast(minimum) == left && agree();
    for (std::size_t i = 0; same && i < adds; ++i) {
        const std::uint32_t h = poolhash(ops[i]), count = list.findword(h);
        same = fast.find(h) == count && (count < least || (fast.drop(h), list.dropword(h), --left, true)) &&
               fast.size() == list.used;
    }
    return same && left == 0;
}

// The whole program, run in this process on `bytes` as a file or, if `piped`,
// through a pipe, standard output caught in memory, prints and returns what
// the model does. A pipe gets the bytes before `split` first, and the rest
// once the program has read them, so that a block of input ends there.
inline bool runmatches(const Bytes& bytes, int minlen, std::uint32_t mincount, bool piped, std::size_t split = 0)
{
    int ends[2] = {memfd_create("in", 0), -1};
    if (piped && (close(ends[0]) != 0 || pipe(ends) != 0))
        return false;
    std::atomic<bool> written = true;
    std::thread writer([&, split = std::min(split, bytes.size()), fd = ends[piped]] {
        auto put = [&](std::size_t from, std::size_t to) {
            written = written && write(fd, bytes.data() + from, to - from) == static_cast<ssize_t>(to - from);
        };
        put(0, split);
        for (int waiting = 0; piped && ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0;)
            usleep(20);
        put(split, bytes.size());
        if (piped)
            close(fd);
    });
    if (!piped)
        writer.join();
    const int out = memfd_create("out", 0), saved = dup(STDOUT_FILENO);
    std::string path = "/proc/self/fd/" + std::to_string(ends[0]), length = std::to_string(minlen),
                count = std::to_string(mincount), program = "tallvik";
    char* argv[] = {program.data(), path.data(), length.data(), count.data(), nullptr};
    std::fflush(stdout);
    dup2(out, STDOUT_FILENO);
    const long before = allocations;
    const int status = run(4, argv);
    runallocations = allocations - before;
    if (piped)
        writer.join();
    dup2(saved, STDOUT_FILENO);
    Bytes printed(static_cast<std::size_t>(lseek(out, 0, SEEK_END)), '\0');
    bool same = written && pread(out, printed.data(), printed.size(), 0) == static_cast<ssize_t>(printed.size());
    for (int fd : {ends[0], out, saved})
        close(fd);
    return same && std::pair{printed, status} == model::run(bytes, minlen, mincount);
}

// The first byte picks the table, at one of four capacities, or a whole run
// on a file or a pipe with one of the kernel tiers this processor runs; the
// next two pick their settings, the threads (a file read by several is cut
// into ranges, more of them the smaller it is) and where a pipe's input is
// split; the rest is input.
inline bool matches(const Bytes& data)
{
    if (data.size() < 3)
        return true;
    const Bytes input = data.substr(3);
    const unsigned pick = static_cast<unsigned char>(data[0]) % 6, a = static_cast<unsigned char>(data[1]),
                   b = static_cast<unsigned char>(data[2]);
    static const std::vector<Kernel> tiers = runnablekernels();
    const Kernel tier = tiers[static_cast<unsigned char>(data[0]) / 6 % tiers.size()];
    static constexpr bool (*tables[])(const Bytes&, std::uint64_t) = {tablematches<1>, tablematches<3>,
                                                                      tablematches<17>, tablematches<64>};
    if (pick < 4)
        return tables[pick](input, std::uint64_t{b} << 8 | a);
    const ScopedEnv threads("TALLVIK_THREADS", std::to_string(1 + (a ^ b) % 4));
    const ScopedEnv kernel("TALLVIK_KERNEL", kernelname(tier));
    return runmatches(input, 1 + a % 62, 1 + b % 16, pick == 5, (b << 8 | a) % (input.size() + 1));
}
