#pragma once
// A sample as the card delivers it, and the converted record.

#include <bit>
#include <cstddef>
#include <cstdint>

namespace velscan {

static_assert(std::endian::native == std::endian::little,
              "RawSample records are little-endian and are copied as they lie in memory");

// One sample as the card delivers it: four little-endian 32-bit words, 16 bytes.
//   statusWord:    bits 0..7 status byte, 8..15 temperature byte,
//                  16..23 auxiliary byte, 24..31 amplitude byte
//   rangeWord:     bit 31 invalid, bits 13..30 coarse count, bits 0..12 fine value
struct RawSample {
    std::uint32_t statusWord;
    std::uint32_t encoder1Count;
    std::uint32_t encoder2Count;
    std::uint32_t rangeWord;
};
static_assert(sizeof(RawSample) == 16);

inline constexpr std::size_t kRawSampleBytes = sizeof(RawSample);

// One converted sample.
struct Measurement {
    std::uint16_t status;      // status byte, zero-extended
    double angle1;             // radians
    double angle2;             // radians
    double distance;           // inches; 0.0 for an invalid sample
    double temperature;        // degrees Fahrenheit
    double auxiliary;          // auxiliary byte 0..255, not written to the file
    double amplitude;          // amplitude byte 0..255
    std::int32_t invalid;      // 1 when bit 31 of rangeWord is set
    std::uint32_t rawRange;    // bits; left untouched for an invalid sample
};

// Status byte bits the program interprets.
inline constexpr std::uint16_t kStatusRestartBit = 0x01;  // card asks for a sampling restart
inline constexpr std::uint16_t kStatusIndex1Bit = 0x04;   // encoder 1 index
inline constexpr std::uint16_t kStatusIndex2Bit = 0x08;   // encoder 2 index

// ---- statusWord: the one place its bytes are packed and unpacked ----------

constexpr std::uint32_t EncodeStatusWord(std::uint32_t statusByte, std::uint32_t temperatureByte,
                                         std::uint32_t auxiliaryByte,
                                         std::uint32_t amplitudeByte) {
    return (statusByte & 0xFFu) | ((temperatureByte & 0xFFu) << 8) |
           ((auxiliaryByte & 0xFFu) << 16) | ((amplitudeByte & 0xFFu) << 24);
}
constexpr std::uint32_t StatusByte(std::uint32_t statusWord) { return statusWord & 0xFFu; }
constexpr std::uint32_t TemperatureByte(std::uint32_t statusWord) {
    return (statusWord >> 8) & 0xFFu;
}
constexpr std::uint32_t AuxiliaryByte(std::uint32_t statusWord) {
    return (statusWord >> 16) & 0xFFu;
}
constexpr std::uint32_t AmplitudeByte(std::uint32_t statusWord) {
    return (statusWord >> 24) & 0xFFu;
}

// ---- rangeWord: the one place its fields are packed and unpacked -----------

inline constexpr std::uint32_t kRangeInvalidBit = 0x80000000u;
inline constexpr std::uint32_t kFineMask = 0x1FFFu;       // bits 0..12
inline constexpr std::uint32_t kFineSignBit = 0x1000u;
inline constexpr unsigned kCoarseShift = 13;

struct RangeWordFields {
    std::int32_t coarse;  // a: bits 13..31 shifted down
    std::int32_t fine;    // b: bits 0..12, 13-bit two's complement
};

constexpr RangeWordFields DecodeRangeWord(std::uint32_t rangeWord) {
    const std::uint32_t low = rangeWord & kFineMask;
    const std::int32_t fine = (low & kFineSignBit) != 0 ? static_cast<std::int32_t>(low) - 8192
                                                        : static_cast<std::int32_t>(low);
    return {static_cast<std::int32_t>(rangeWord >> kCoarseShift), fine};
}

// A range word of coarse count `coarse` (bits 13..) and fine value `fine`
// (its low 13 bits, two's complement).
constexpr std::uint32_t RangeWordFromFields(std::uint32_t coarse, std::int32_t fine) {
    return (coarse << kCoarseShift) | (static_cast<std::uint32_t>(fine) & kFineMask);
}

// The low 13 bits as an unsigned value: how the calibration value is read.
constexpr std::uint32_t FineBits(std::uint32_t rangeWord) { return rangeWord & kFineMask; }

// Geometry of a run: 200 buffer lines of 5000 samples.
inline constexpr std::size_t kSamplesPerLine = 5000;
inline constexpr std::size_t kMaxLines = 200;
inline constexpr std::size_t kMeasurementCapacity = kSamplesPerLine * kMaxLines;

// The level word handed to the distance computation: the upper three bytes of
// statusWord in reverse order (amplitude in bits 0..7, auxiliary in 8..15,
// temperature in 16..23).
constexpr std::uint32_t LevelWord(std::uint32_t statusWord) {
    return AmplitudeByte(statusWord) | (AuxiliaryByte(statusWord) << 8) |
           (TemperatureByte(statusWord) << 16);
}

// Degrees Fahrenheit from the temperature byte: product first, then sum.
constexpr double TemperatureFromByte(std::uint32_t temperatureByte) {
    return static_cast<double>(temperatureByte) * 0.6023 + 5.3478;
}

}  // namespace velscan
