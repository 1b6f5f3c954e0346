#pragma once
// The scanning mirror and the slow second axis, and the two angle encoders
// that the card counts. Motor 1's power (0..255) sets the mirror's target
// speed; the mirror follows it with a first-order lag, so it takes a few
// seconds to come up to speed and to run down. The slow axis is geared to
// the mirror. Positions are kept in turns and are exact functions of time
// between two power changes, so samples do not depend on how they were batched.

#include <cstdint>

#include "conversion/beam_geometry.hpp"

namespace velscan::sim {

inline constexpr double kMirrorTurnsPerSecondAtFullPower = 20.0;
inline constexpr double kMirrorTimeConstantSeconds = 1.5;
inline constexpr double kMirrorTurnsPerSlowAxisTurn = 800.0;
inline constexpr std::int64_t kEncoder1CountsPerTurn = kMirrorEncoderCountsPerTurn;
inline constexpr std::int64_t kEncoder2CountsPerTurn = kSlowAxisEncoderCountsPerTurn;

class Mirror {
public:
    // Changes motor 1's power at time `atNs`; later queries must not ask for
    // earlier times.
    void SetPower(std::int64_t atNs, std::uint8_t power);

    // Mirror position in turns since start, and speed in turns per second.
    double TurnsAt(std::int64_t ns) const;
    double SpeedAt(std::int64_t ns) const;

private:
    std::int64_t segmentStartNs_ = 0;
    double segmentStartTurns_ = 0.0;
    double segmentStartSpeed_ = 0.0;
    double targetSpeed_ = 0.0;
};

inline double SlowAxisTurns(double mirrorTurns) { return mirrorTurns / kMirrorTurnsPerSlowAxisTurn; }

// Absolute encoder counts (not wrapped) at a mirror position.
std::int64_t Encoder1Absolute(double mirrorTurns);
std::int64_t Encoder2Absolute(double mirrorTurns);

// Floor division: the number of whole turns a count stands for (negative counts too).
constexpr std::int64_t TurnNumber(std::int64_t count, std::int64_t countsPerTurn) {
    const std::int64_t q = count / countsPerTurn;
    return (count % countsPerTurn < 0) ? q - 1 : q;
}

}  // namespace velscan::sim
