#pragma once
// The card driver's protocol, shared by the card library and the simulated
// card: the control codes, the register tables, and the layout of every record
// a control carries, each encoded and decoded here only. Records are
// little-endian, independent of the host's byte order. The raw sample's own
// words are laid out in conversion/samples.hpp.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace velscan {

// The calibration collects this many records in calibration mode; the fourth
// of them (index 3) carries the calibration value. A capture file starts with
// the same records.
inline constexpr std::size_t kCalibrationRecords = 20;
inline constexpr std::size_t kCalibrationRecordUsed = 3;

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

// ---- Little-endian words of a record ---------------------------------------

// Two unsigned 16-bit values, the first in bytes 0..1.
inline std::array<std::byte, 4> EncodeWordPair(std::uint16_t first, std::uint16_t second) {
    return {std::byte(first & 0xFFu), std::byte(first >> 8), std::byte(second & 0xFFu),
            std::byte(second >> 8)};
}

inline std::array<std::byte, 2> EncodeWord16(std::uint16_t value) {
    return {std::byte(value & 0xFFu), std::byte(value >> 8)};
}

// The unsigned 16-bit value at byte offset `at` of a record.
inline std::uint16_t DecodeWord16(std::span<const std::byte> record, std::size_t at) {
    return static_cast<std::uint16_t>(std::to_integer<std::uint32_t>(record[at]) |
                                      (std::to_integer<std::uint32_t>(record[at + 1]) << 8));
}

// The 32-bit word at word index `index` of a record.
inline std::uint32_t DecodeWord32(std::span<const std::byte> record, std::size_t index) {
    const std::size_t at = index * 4;
    return std::to_integer<std::uint32_t>(record[at]) |
           (std::to_integer<std::uint32_t>(record[at + 1]) << 8) |
           (std::to_integer<std::uint32_t>(record[at + 2]) << 16) |
           (std::to_integer<std::uint32_t>(record[at + 3]) << 24);
}

// Stores `value` as the 32-bit word at word index `index` of a record.
inline void EncodeWord32(std::span<std::byte> record, std::size_t index, std::uint32_t value) {
    const std::size_t at = index * 4;
    for (std::size_t i = 0; i < 4; ++i) record[at + i] = std::byte((value >> (8 * i)) & 0xFFu);
}

// ---- Register writes (kControlRegisterWrite: {register, value}) -------------

struct RegisterWrite {
    std::uint16_t reg;
    std::uint16_t value;
};

inline constexpr std::size_t kRegisterWriteBytes = 4;
inline std::array<std::byte, kRegisterWriteBytes> EncodeRegisterWrite(RegisterWrite write) {
    return EncodeWordPair(write.reg, write.value);
}
inline RegisterWrite DecodeRegisterWrite(std::span<const std::byte> record) {
    return {DecodeWord16(record, 0), DecodeWord16(record, 2)};
}

// The acquisition mode register and the values that select a mode.
inline constexpr std::uint16_t kModeRegister = 0x0020;
inline constexpr std::uint16_t kTimingRegister = 0x0024;
inline constexpr std::uint16_t kCalibrationModeValue = 0x0090;
inline constexpr std::uint16_t kCalibrationTimingValue = 0x0067;
inline constexpr std::uint16_t kSamplingModeValue = 0x0010;
inline constexpr std::uint16_t kRegisterTableEnd = 0xFFFF;

// Ordered register writes ended by register 0xFFFF.
inline constexpr std::array<RegisterWrite, 12> kCalibrationRegisterTable{{
    {0x0036, 0x00A0}, {0x0036, 0x0007}, {kModeRegister, kCalibrationModeValue}, {0x0022, 0x004D},
    {kTimingRegister, kCalibrationTimingValue}, {0x0028, 0x0000}, {0x002C, 0x0002},
    {0x002E, 0x0002}, {0x0030, 0x0000}, {0x0032, 0x0000}, {0x0034, 0x0080},
    {kRegisterTableEnd, 0x0000},
}};
inline constexpr std::array<RegisterWrite, 12> kSamplingRegisterTable{{
    {0x0036, 0x00A0}, {0x0036, 0x0007}, {kModeRegister, kSamplingModeValue}, {0x0022, 0x004D},
    {kTimingRegister, 0x0021}, {0x0028, 0x0000}, {0x002C, 0x0002}, {0x002E, 0x0002},
    {0x0030, 0x0000}, {0x0032, 0x0000}, {0x0034, 0x0080}, {kRegisterTableEnd, 0x0000},
}};

// The acquisition mode the card's registers select (the numbers are those of
// the register tables' modes, and of the simulated status record's mode word).
enum class CardMode : std::uint32_t { None = 0, Calibration = 1, Sampling = 2 };

constexpr CardMode CardModeOf(std::uint16_t modeRegister, std::uint16_t timingRegister) {
    if (modeRegister == kCalibrationModeValue && timingRegister == kCalibrationTimingValue)
        return CardMode::Calibration;
    if (modeRegister == kSamplingModeValue) return CardMode::Sampling;
    return CardMode::None;
}

// Both motors' power levels share one register: motor 1 in the low byte.
inline constexpr std::uint16_t kMotorRegister = 0x0003;
constexpr std::uint16_t EncodeMotorPowers(std::uint32_t motor1Power, std::uint32_t motor2Power) {
    return static_cast<std::uint16_t>(((motor2Power & 0xFFu) << 8) | (motor1Power & 0xFFu));
}
constexpr std::uint8_t Motor1Power(std::uint16_t motorRegister) {
    return static_cast<std::uint8_t>(motorRegister & 0xFFu);
}

// ---- Encoder word (kControlEncoder: {word, 0}) ------------------------------

// Bits 0 and 1 select encoders 1 and 2; bit 2 set keeps their counts.
inline constexpr std::uint16_t kEncoder1Bit = 0x1;
inline constexpr std::uint16_t kEncoder2Bit = 0x2;
inline constexpr std::uint16_t kEncoderKeepCountsBit = 0x4;

inline constexpr std::size_t kEncoderRecordBytes = 4;
inline std::array<std::byte, kEncoderRecordBytes> EncodeEncoderWord(std::uint32_t encoderMask,
                                                                    bool clear) {
    const std::uint32_t word = clear ? encoderMask : encoderMask | kEncoderKeepCountsBit;
    return EncodeWordPair(static_cast<std::uint16_t>(word), 0);
}
inline std::uint16_t DecodeEncoderWord(std::span<const std::byte> record) {
    return DecodeWord16(record, 0);
}

// ---- Set-up word and switch word (one 16-bit value each) --------------------

inline constexpr std::size_t kSingleWordBytes = 2;
inline constexpr std::uint16_t kSetupWordValue = 0x0020;
inline std::array<std::byte, kSingleWordBytes> EncodeSetupWord() {
    return EncodeWord16(kSetupWordValue);
}
inline std::array<std::byte, kSingleWordBytes> EncodeSwitchWord(bool on) {
    return EncodeWord16(on ? 1 : 0);
}
// The value of a set-up or switch record.
inline std::uint16_t DecodeSingleWord(std::span<const std::byte> record) {
    return DecodeWord16(record, 0);
}

// ---- Status record (kControlStatus: 28 bytes in and out) --------------------

inline constexpr std::size_t kStatusWords = 7;
inline constexpr std::size_t kStatusRecordBytes = kStatusWords * 4;
using StatusRecord = std::array<std::uint32_t, kStatusWords>;

// The words of the status record. The card library reads only the overflow
// word; the simulated cards fill them all.
inline constexpr std::size_t kStatusBufferedWord = 0;
inline constexpr std::size_t kStatusSamplingWord = 1;
inline constexpr std::size_t kStatusModeWord = 2;
inline constexpr std::size_t kStatusCapacityWord = 3;
inline constexpr std::size_t kStatusOverflowWord = 4;
inline constexpr std::size_t kStatusProducedWord = 5;
inline constexpr std::size_t kStatusSwitchWord = 6;

inline void EncodeStatusRecord(std::span<std::byte> record, const StatusRecord& words) {
    for (std::size_t i = 0; i < kStatusWords; ++i) EncodeWord32(record, i, words[i]);
}
inline bool StatusOverflowed(std::span<const std::byte> record) {
    return DecodeWord32(record, kStatusOverflowWord) != 0;
}

}  // namespace velscan
