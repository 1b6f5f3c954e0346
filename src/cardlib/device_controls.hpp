#pragma once
// The device-level operations of the card library (no board check: callers
// apply it first), on the protocol of cardlib/protocol.hpp.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "cardlib/protocol.hpp"
#include "conversion/samples.hpp"
#include "platform/card_device.hpp"

namespace velscan {

inline constexpr std::uint32_t kRegisterWritePauseMs = 50;

// The register tables' modes, as WriteRegisterSequence takes them.
inline constexpr int kCalibrationMode = static_cast<int>(CardMode::Calibration);
inline constexpr int kSamplingMode = static_cast<int>(CardMode::Sampling);

// A control with no buffers; true when the driver reports success.
bool IssuePlainControl(platform::CardDevice& device, std::uint32_t code);
bool IssueSetupWord(platform::CardDevice& device);
bool IssueSwitch(platform::CardDevice& device, std::int32_t flag);

// 1 when the whole table of `mode` (1 calibration, 2 sampling) was written,
// with a 50 ms pause after each successful write; 0 otherwise.
int WriteRegisterSequence(platform::CardDevice& device, int mode);
int WriteMotorRegister(platform::CardDevice& device, std::uint32_t motor1Power,
                       std::uint32_t motor2Power);

// A block of delivered samples, released when it goes out of scope.
struct SampleBlock {
    std::unique_ptr<RawSample[]> samples;  // n records, prefilled with 0xA5 bytes
    std::int32_t count = 0;                // records delivered
};
// Reads at most n >= 1 samples; an empty `samples` pointer on failure.
SampleBlock ReadSampleBlock(platform::CardDevice& device, std::int32_t n);

}  // namespace velscan
