// A progress line on standard error for passes that take a while: only when
// standard error is a terminal, never before a pass has run for a second,
// and at most four times a second, so that it costs nothing measurable.
#pragma once

#include <cstdint>

// Begins the first pass, over `total` bytes (0 when the size is not known);
// the second is too short to show. Returns whether progress is shown at all,
// that is, whether standard error is a terminal.
bool startprogress(std::uint64_t total);

// Notes that `done` bytes of the pass have been read.
void showprogress(std::uint64_t done);

// Clears the progress line, if one was shown.
void endprogress();
