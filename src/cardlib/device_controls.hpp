#pragma once
// The device-level operations of the card library (no board check: callers
// apply it first), on the protocol of cardlib/protocol.hpp.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

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

// One block read straight into the caller's records, so reading allocates
// nothing: fills `destination` (at least one record) with 0xA5 bytes, then
// reads at most destination.size() samples into it. The number of whole
// records delivered, never more than the destination holds; -1 when the
// control fails or the destination is empty or too large for the driver.
std::int32_t ReadSampleBlock(platform::CardDevice& device, std::span<RawSample> destination);

}  // namespace velscan
