// The board-bound conversion: a board's calibration value, encoder settings
// and averaging count applied to raw samples.
#include "cardlib/vexa.hpp"

#include <limits>

#include "conversion/beam_geometry.hpp"
#include "conversion/distance_kernel.hpp"
#include "conversion/lookup_table.hpp"
#include "conversion/raw_range.hpp"
#include "conversion/samples.hpp"

namespace velscan {

namespace {

// Radians per encoder count, divided out once per line. A count of 0 (which
// VexaSetEncoder refuses) gives the IEEE quotient, infinity, rather than a
// division by zero.
double AngleFactor(std::uint32_t countsPerRevolution) {
    if (countsPerRevolution == 0) return std::numeric_limits<double>::infinity();
    return kFullTurn / static_cast<double>(countsPerRevolution);
}

// The encoder count relative to its offset, modulo 2^32, as an unsigned count.
double Angle(std::uint32_t count, std::int32_t offset, double factor) {
    const std::uint32_t relative = count - static_cast<std::uint32_t>(offset);
    return static_cast<double>(relative) * factor;
}

}  // namespace

int VexaGetRawRange(std::uint32_t board, std::uint32_t rangeWord, std::uint32_t& rawRange) {
    const BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    return RawRangeFromWord(slot->calibrationValue, rangeWord, rawRange) ? 1 : 0;
}

int VexaConvertSamples(std::uint32_t board, const RawSample* samples,
                       Measurement* measurements, std::int32_t count) {
    const BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;

    const double factor1 = AngleFactor(slot->encoderCounts[0]);
    const double factor2 = AngleFactor(slot->encoderCounts[1]);
    const std::int32_t offset1 = slot->encoderOffset[0];
    const std::int32_t offset2 = slot->encoderOffset[1];
    const std::int32_t calibrationValue = slot->calibrationValue;
    const double sampleRateOffset = slot->sampleRateOffset;
    const AveragingAdjustment adjustment = AdjustmentForAveragingCount(slot->averagingCount);
    const LookupTable& table = ProgramLookupTable();
    RisingPrefixes prefixes(table);

    bool restartSeen = false;
    for (std::int32_t i = 0; i < count; ++i) {
        const RawSample& sample = samples[i];
        Measurement& measurement = measurements[i];
        const std::uint32_t word = sample.statusWord;

        measurement.status = static_cast<std::uint16_t>(StatusByte(word));
        measurement.auxiliary = static_cast<double>(AuxiliaryByte(word));
        measurement.amplitude = static_cast<double>(AmplitudeByte(word));
        measurement.temperature = TemperatureFromByte(TemperatureByte(word));
        measurement.angle1 = Angle(sample.encoder1Count, offset1, factor1);
        measurement.angle2 = Angle(sample.encoder2Count, offset2, factor2);
        measurement.invalid = (sample.rangeWord & kRangeInvalidBit) != 0 ? 1 : 0;
        if ((measurement.status & kStatusRestartBit) != 0) restartSeen = true;

        if (RawRangeFromWord(calibrationValue, sample.rangeWord, measurement.rawRange)) {
            measurement.distance = ComputeAdjustedDistance(table, measurement.rawRange,
                                                           LevelWord(word), adjustment,
                                                           sampleRateOffset, &prefixes);
        } else {
            measurement.distance = 0.0;
            measurement.invalid = 1;
        }
    }
    return restartSeen ? 2 : 1;
}

}  // namespace velscan
