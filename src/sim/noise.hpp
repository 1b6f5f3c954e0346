#pragma once
// Seeded, counter-based noise for the simulated instrument. Every draw is a
// pure function of (seed, stream, index), so a sample's noise does not depend
// on how the samples were split into blocks: the same seed, options and clock
// give the same raw records.

#include <cstdint>

namespace velscan::sim {

inline constexpr std::uint64_t kDefaultSeed = 0x76656c7363616e31ull;

// The splitmix64 finaliser: a bijective 64-bit mix with good avalanche.
constexpr std::uint64_t Mix64(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// What a draw is used for; each purpose has its own stream of numbers.
enum class NoiseStream : std::uint64_t {
    CalibrationJitter = 1,
    RangeNoise = 2,
    AmplitudeNoise = 3,
    InterpolatorPhase = 4,
    InterpolatorChoice = 5,
    CalibrationBase = 6,
};

class Noise {
public:
    explicit Noise(std::uint64_t seed = kDefaultSeed) : seed_(Mix64(seed)) {}

    std::uint64_t Bits(NoiseStream stream, std::uint64_t index) const {
        return Mix64(seed_ ^ Mix64(static_cast<std::uint64_t>(stream) * 0xD1B54A32D192ED03ull ^
                                   Mix64(index)));
    }
    // Uniform in [0, 1) with 53 random bits.
    double Uniform(NoiseStream stream, std::uint64_t index) const {
        return static_cast<double>(Bits(stream, index) >> 11) * 0x1.0p-53;
    }
    // Uniform integer in [-spread, spread].
    std::int32_t Centered(NoiseStream stream, std::uint64_t index, std::uint32_t spread) const {
        const std::uint64_t width = 2ull * spread + 1;
        return static_cast<std::int32_t>(Bits(stream, index) % width) -
               static_cast<std::int32_t>(spread);
    }
    // Roughly normal with standard deviation 1 (sum of four uniforms, scaled).
    double Gaussian(NoiseStream stream, std::uint64_t index) const {
        const std::uint64_t bits = Bits(stream, index);
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) sum += static_cast<double>((bits >> (16 * i)) & 0xFFFF);
        // Four uniforms on [0, 65535]: mean 131070, variance 4 * 65536^2 / 12.
        return (sum - 131070.0) / 37837.23;
    }

private:
    std::uint64_t seed_;
};

}  // namespace velscan::sim
