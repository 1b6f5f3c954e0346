#include "sim/range_sampler.hpp"

#include <algorithm>
#include <cmath>

#include "conversion/beam_geometry.hpp"
#include "conversion/samples.hpp"
#include "sim/mirror.hpp"

namespace velscan::sim {

namespace {

// Temperature byte of about 70 F, drifting by about a degree over ten minutes.
constexpr double kTemperatureByteMean = 107.3;
constexpr double kTemperatureByteSwing = 1.6;
constexpr double kTemperaturePeriodSeconds = 600.0;
// Echo strength falls off with distance; at this distance it is halved.
constexpr double kHalfEchoDistance = 350.0;
// A synthesised raw range further than this from the distance means the
// lookup table cannot express the distance: the sample gets no range.
constexpr double kMaxSynthesisError = 1.0;

RangeReading NoRange(std::uint32_t temperature, std::uint32_t amplitude) {
    return {amplitude, temperature, kRangeInvalidBit, {}};
}

}  // namespace

RangeSampler::RangeSampler(std::shared_ptr<const Scene> scene, std::uint64_t seed,
                           double rangeNoiseInches)
    : scene_(std::move(scene)),
      noise_(seed),
      rangeNoise_(rangeNoiseInches),
      temperaturePhase_(noise_.Uniform(NoiseStream::CalibrationBase, 1)) {}

std::uint32_t RangeSampler::TemperatureByteAt(std::int64_t timeNs) const {
    const double cycles =
        static_cast<double>(timeNs) * 1e-9 / kTemperaturePeriodSeconds + temperaturePhase_;
    const double value = kTemperatureByteMean + kTemperatureByteSwing * std::sin(kFullTurn * cycles);
    return static_cast<std::uint32_t>(std::lround(value));
}

RangeReading RangeSampler::Read(const SamplingSetup& setup, std::uint64_t index,
                                std::int64_t timeNs, double mirrorTurns) const {
    const std::uint32_t temperature = TemperatureByteAt(timeNs);
    const double amplitudeNoise = noise_.Gaussian(NoiseStream::AmplitudeNoise, index);
    const auto weakEcho =
        static_cast<std::uint32_t>(std::clamp(std::lround(1.5 + amplitudeNoise), 0L, 3L));

    const auto hit = scene_->CastAtAngles(kFullTurn * mirrorTurns, kFullTurn * SlowAxisTurns(mirrorTurns));
    if (!hit) return NoRange(temperature, weakEcho);

    const double distance =
        hit->distance + rangeNoise_ * noise_.Gaussian(NoiseStream::RangeNoise, index);
    if (!(distance > 0.0) || distance > static_cast<double>(setup.maxRangeInches))
        return NoRange(temperature, weakEcho);

    const double falloff = 1.0 / (1.0 + (hit->distance / kHalfEchoDistance) *
                                            (hit->distance / kHalfEchoDistance));
    const double strength =
        255.0 * hit->reflectivity * (0.3 + 0.7 * hit->cosIncidence) * falloff;
    const auto amplitude = static_cast<std::uint32_t>(
        std::clamp(std::lround(strength + 1.5 * amplitudeNoise), 1L, 255L));

    const auto match =
        setup.synthesis->RawRangeFor(distance, amplitude, temperature, setup.averagingCount);
    if (!match || std::fabs(match->distance - distance) > kMaxSynthesisError)
        return NoRange(temperature, amplitude);
    const auto word = EncodeRangeWord(match->rawRange, setup.calibrationValue,
                                      noise_.Bits(NoiseStream::InterpolatorPhase, index));
    if (!word) return NoRange(temperature, amplitude);
    return {amplitude, temperature, *word, {true, distance, match->rawRange}};
}

}  // namespace velscan::sim
