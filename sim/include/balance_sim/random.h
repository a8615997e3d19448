// A small, fast, seedable generator (splitmix64), so that every simulated
// fault and noise sequence repeats exactly for the same seed.
#pragma once

#include <cstdint>

namespace pondus::sim {

// The splitmix64 output function: a good 64-bit mix of one value.
constexpr std::uint64_t mix64(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

class Random {
public:
    explicit Random(std::uint64_t seed = 1) : state_(seed) {}

    std::uint64_t next()
    {
        const std::uint64_t value = mix64(state_);
        state_ += 0x9E3779B97F4A7C15ull;
        return value;
    }

    // Uniform in [0, 1).
    double uniform() { return double(next() >> 11) * 0x1.0p-53; }

    // True with the given probability; never for 0, always for 1.
    bool chance(double probability) { return probability > 0 && uniform() < probability; }

private:
    std::uint64_t state_;
};

}  // namespace pondus::sim
