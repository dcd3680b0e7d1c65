#include "io/progress.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

// The line on the terminal, which there is only one of.
struct Progress {
    std::uint64_t total; // bytes of the pass, 0 if not known
    double start;        // when the pass began, in seconds
    double nextshow;     // when the line may next be written
    bool shown;          // whether a line stands on the terminal
};
Progress progress;

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
        progress.shown = false;
}

} // namespace

bool startprogress(std::uint64_t total)
{
    progress.total = total;
    progress.start = now();
    progress.nextshow = progress.start + 1.0;
    return isatty(STDERR_FILENO) != 0;
}

void showprogress(std::uint64_t done)
{
    const double t = now();
    if (t < progress.nextshow)
        return;
    progress.nextshow = t + 0.25;
    const double megabytes = static_cast<double>(done) / 1e6;
    const double rate = megabytes / (t - progress.start);
    char line[128];
    int size;
    if (progress.total != 0)
        size = std::snprintf(line, sizeof line, "\rtallvik: pass 1: %3.0f%% of %.0f MB, %.0f MB/s\033[K",
                             100.0 * static_cast<double>(done) / static_cast<double>(progress.total),
                             static_cast<double>(progress.total) / 1e6, rate);
    else
        size = std::snprintf(line, sizeof line, "\rtallvik: pass 1: %.0f MB, %.0f MB/s\033[K", megabytes, rate);
    progress.shown = true;
    writeline(line, size);
}

void endprogress()
{
    if (progress.shown)
        writeline("\r\033[K", 4);
    progress.shown = false;
}
