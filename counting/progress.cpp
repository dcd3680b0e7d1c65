#include "progress.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

std::uint64_t passtotal;
double passstart;
double nextshow;
bool shown;

double now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void writeline(const char* text, int size)
{
    // A progress line that cannot be written is not worth stopping for.
    if (write(STDERR_FILENO, text, static_cast<std::size_t>(size)) < 0)
        shown = false;
}

} // namespace

bool startprogress(std::uint64_t total)
{
    passtotal = total;
    passstart = now();
    nextshow = passstart + 1.0;
    return isatty(STDERR_FILENO) != 0;
}

void showprogress(std::uint64_t done)
{
    const double t = now();
    if (t < nextshow)
        return;
    nextshow = t + 0.25;
    const double megabytes = static_cast<double>(done) / 1e6;
    const double rate = megabytes / (t - passstart);
    char line[128];
    int size;
    if (passtotal != 0)
        size = std::snprintf(line, sizeof line, "\rtallvik: pass 1: %3.0f%% of %.0f MB, %.0f MB/s\033[K",
                             100.0 * static_cast<double>(done) / static_cast<double>(passtotal),
                             static_cast<double>(passtotal) / 1e6, rate);
    else
        size = std::snprintf(line, sizeof line, "\rtallvik: pass 1: %.0f MB, %.0f MB/s\033[K", megabytes, rate);
    shown = true;
    writeline(line, size);
}

void endprogress()
{
    if (shown)
        writeline("\r\033[K", 4);
    shown = false;
}
