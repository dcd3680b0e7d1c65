// The same pseudo-random numbers on every machine, for the input generators.
#pragma once

#include <cstdint>

class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : state(seed) {}

    std::uint64_t operator()()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }

    // A uniform draw from [0, 1).
    double unit() { return static_cast<double>((*this)() >> 11) * 0x1.0p-53; }

private:
    std::uint64_t state;
};
