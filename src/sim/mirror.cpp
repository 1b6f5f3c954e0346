#include "sim/mirror.hpp"

#include <cmath>

namespace velscan::sim {

namespace {
double Seconds(std::int64_t ns) { return static_cast<double>(ns) * 1e-9; }
}  // namespace

void Mirror::SetPower(std::int64_t atNs, std::uint8_t power) {
    const double turns = TurnsAt(atNs);
    const double speed = SpeedAt(atNs);
    segmentStartNs_ = atNs;
    segmentStartTurns_ = turns;
    segmentStartSpeed_ = speed;
    targetSpeed_ = kMirrorTurnsPerSecondAtFullPower * static_cast<double>(power) / 255.0;
}

double Mirror::TurnsAt(std::int64_t ns) const {
    const double dt = Seconds(ns - segmentStartNs_);
    if (dt <= 0.0) return segmentStartTurns_;
    const double lag = segmentStartSpeed_ - targetSpeed_;
    if (lag == 0.0) return segmentStartTurns_ + targetSpeed_ * dt;
    const double decay = std::exp(-dt / kMirrorTimeConstantSeconds);
    return segmentStartTurns_ + targetSpeed_ * dt +
           lag * kMirrorTimeConstantSeconds * (1.0 - decay);
}

double Mirror::SpeedAt(std::int64_t ns) const {
    const double dt = Seconds(ns - segmentStartNs_);
    if (dt <= 0.0) return segmentStartSpeed_;
    const double lag = segmentStartSpeed_ - targetSpeed_;
    return targetSpeed_ + lag * std::exp(-dt / kMirrorTimeConstantSeconds);
}

std::int64_t Encoder1Absolute(double mirrorTurns) {
    return static_cast<std::int64_t>(
        std::floor(mirrorTurns * static_cast<double>(kEncoder1CountsPerTurn)));
}

std::int64_t Encoder2Absolute(double mirrorTurns) {
    return static_cast<std::int64_t>(
        std::floor(SlowAxisTurns(mirrorTurns) * static_cast<double>(kEncoder2CountsPerTurn)));
}

}  // namespace velscan::sim
