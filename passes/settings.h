// What a run is asked to do, settled once from the command line and the
// environment, and handed to the passes.
#pragma once

#include <cstdint>

#include "kernels/kernels.h"

struct Settings {
    int minwordlen;         // the shortest word counted, 1 to maxwordlen
    std::uint32_t mincount; // the fewest occurrences of a word printed, at least 1
    int threads;            // for pass one, 1 to 4
    Kernel kernel;
};
