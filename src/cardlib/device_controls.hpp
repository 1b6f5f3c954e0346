#pragma once
// The card driver's control codes, wire records, register tables and the
// device-level operations (no board check: callers apply it first).

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "conversion/samples.hpp"
#include "platform/card_device.hpp"

namespace velscan {

// Device type 0x9c40, FILE_ANY_ACCESS, function numbers from 0x800.
inline constexpr std::uint32_t kControlBoardReset = 0x9c402000;
inline constexpr std::uint32_t kControlSamplingEnableStep2 = 0x9c402004;
inline constexpr std::uint32_t kControlSamplingStop = 0x9c402008;
inline constexpr std::uint32_t kControlEncoder = 0x9c40200c;
inline constexpr std::uint32_t kControlBlockRead = 0x9c402015;  // METHOD_IN_DIRECT
inline constexpr std::uint32_t kControlSamplingEnableStep1 = 0x9c402018;
inline constexpr std::uint32_t kControlRegisterWrite = 0x9c40202c;
inline constexpr std::uint32_t kControlSetupWord = 0x9c402034;
inline constexpr std::uint32_t kControlClearSampleBuffer = 0x9c402040;
inline constexpr std::uint32_t kControlSwitch = 0x9c402044;
inline constexpr std::uint32_t kControlStatus = 0x9c402048;

inline constexpr std::uint16_t kSetupWordValue = 0x0020;
inline constexpr std::size_t kStatusRecordBytes = 28;
inline constexpr std::size_t kStatusOverflowWord = 4;  // fifth 32-bit word
inline constexpr std::uint16_t kMotorRegister = 0x0003;
inline constexpr std::uint16_t kRegisterTableEnd = 0xFFFF;
inline constexpr std::uint32_t kRegisterWritePauseMs = 50;

struct RegisterWrite {
    std::uint16_t reg;
    std::uint16_t value;
};

inline constexpr int kCalibrationMode = 1;
inline constexpr int kSamplingMode = 2;

// Ordered register writes ended by register 0xFFFF.
inline constexpr std::array<RegisterWrite, 12> kCalibrationRegisterTable{{
    {0x0036, 0x00A0}, {0x0036, 0x0007}, {0x0020, 0x0090}, {0x0022, 0x004D},
    {0x0024, 0x0067}, {0x0028, 0x0000}, {0x002C, 0x0002}, {0x002E, 0x0002},
    {0x0030, 0x0000}, {0x0032, 0x0000}, {0x0034, 0x0080}, {0xFFFF, 0x0000},
}};
inline constexpr std::array<RegisterWrite, 12> kSamplingRegisterTable{{
    {0x0036, 0x00A0}, {0x0036, 0x0007}, {0x0020, 0x0010}, {0x0022, 0x004D},
    {0x0024, 0x0021}, {0x0028, 0x0000}, {0x002C, 0x0002}, {0x002E, 0x0002},
    {0x0030, 0x0000}, {0x0032, 0x0000}, {0x0034, 0x0080}, {0xFFFF, 0x0000},
}};

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
