#pragma once
// What the range finder measures for one sample in sampling mode: the beam at
// the mirror's and the slow axis's angles meets the scene; the distance, with
// a little range noise, becomes a raw range word through the inverted
// conversion; the echo's strength becomes the amplitude byte, and the
// instrument's slowly drifting temperature the temperature byte. A beam that
// meets nothing, or meets it beyond the maximum range, has no range (bit 31).

#include <cstdint>
#include <memory>

#include "sim/noise.hpp"
#include "sim/raw_synthesis.hpp"
#include "sim/scene.hpp"

namespace velscan::sim {

inline constexpr double kDefaultRangeNoiseInches = 0.02;

// What the conversion is expected to make of a valid sample.
struct SampleTruth {
    bool valid = false;
    double distance = 0.0;  // the measured distance that was encoded
    std::uint32_t rawRange = 0;
};

struct RangeReading {
    std::uint32_t amplitude;    // byte
    std::uint32_t temperature;  // byte
    std::uint32_t rangeWord;
    SampleTruth truth;
};

// The conversion settings the card library will use for these samples.
struct SamplingSetup {
    const RawSynthesis* synthesis;
    std::int32_t averagingCount;
    std::int32_t calibrationValue;
    std::int32_t maxRangeInches;
};

class RangeSampler {
public:
    RangeSampler(std::shared_ptr<const Scene> scene, std::uint64_t seed,
                 double rangeNoiseInches = kDefaultRangeNoiseInches);

    RangeReading Read(const SamplingSetup& setup, std::uint64_t index, std::int64_t timeNs,
                      double mirrorTurns) const;

    std::uint32_t TemperatureByteAt(std::int64_t timeNs) const;
    const Noise& Randomness() const { return noise_; }

private:
    std::shared_ptr<const Scene> scene_;
    Noise noise_;
    double rangeNoise_;
    double temperaturePhase_;
};

}  // namespace velscan::sim
