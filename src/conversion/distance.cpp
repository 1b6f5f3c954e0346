#include "conversion/distance.hpp"

#include <cstddef>

#include "conversion/distance_kernel.hpp"
#include "conversion/samples.hpp"

namespace velscan {

namespace {

// Positions outside 0..62 read 0 and never reach beyond the row.
double At(const RangeRow& row, int position) {
    if (position < 0 || position >= kLookupColumns) return 0.0;
    return row[static_cast<std::size_t>(position)];
}

}  // namespace

AveragingAdjustment AdjustmentForAveragingCount(std::int32_t averagingCount) {
    switch (averagingCount) {
    case 128: return {2.0, 1.0};
    case 64: return {1.0, 2.0};
    case 32: return {1.0, 4.0};
    case 16: return {0.0, 8.0};
    case 8: return {0.0, 16.0};
    case 4: return {0.0, 32.0};
    case 2: return {0.0, 64.0};
    default: return {0.0, 128.0};
    }
}

double ComputeAdjustedDistance(const LookupTable& table, std::uint32_t rawRange,
                               std::uint32_t levelWord, AveragingAdjustment adjustment,
                               double sampleRateOffset, RisingPrefixes* prefixes) {
    const std::uint32_t amplitude = levelWord & 0xFFu;
    const std::uint32_t temperatureByte = (levelWord >> 16) & 0xFFu;
    const double T = TemperatureFromByte(temperatureByte);

    double e = static_cast<double>(rawRange) + sampleRateOffset;
    e = (e - adjustment.subtract) * adjustment.scale;

    const RangeRow& row = table.rangeTable[amplitude];
    int k = prefixes != nullptr ? SearchRowWithPrefix(row, e, prefixes->Of(amplitude))
                                : SearchRow(row, e);
    if (k == kNoStop) return 0.0;
    if (k == 0) k = 1;

    double lo = At(row, k - 1);
    double hi = At(row, k);
    // Step over a zero beside the stopping column: a zero below moves the pair
    // up, a zero above moves it down.
    if (lo == 0.0) {
        lo = hi;
        ++k;
        hi = At(row, k);
    }
    if (hi == 0.0) {
        hi = lo;
        --k;
        lo = At(row, k - 1);
    }
    if (hi == 0.0 || lo == 0.0) return 0.0;
    // From here lo and hi are the nonzero entries at k - 1 and k, so both
    // columns lie inside 0..62.

    const double f = hi != lo ? (e - lo) / (hi - lo) : 0.0;
    const double below = table.columnDistance[static_cast<std::size_t>(k - 1)];
    const double above = table.columnDistance[static_cast<std::size_t>(k)];
    const double d = below + (above - below) * f;
    return d - ComputeDistanceCorrection(table, T, d, k, f);
}

double ComputeDistanceCorrection(const LookupTable& table, double T, double d, int k,
                                 double f) {
    // Column reads outside 0..62 yield 0, as in the row search.
    const auto column = [](const std::array<float, kLookupColumns>& vector, int position) {
        if (position < 0 || position >= kLookupColumns) return 0.0;
        return static_cast<double>(vector[static_cast<std::size_t>(position)]);
    };
    const double below = column(table.columnTemperature, k - 1);
    const double above = column(table.columnTemperature, k);
    const double Tref = below + (above - below) * f;
    const double dT = (T - Tref) * 10.0 * 1.3846;
    const double m = (d - 327.68) / 2.56;

    const auto c = [&table](int i) {
        return static_cast<double>(table.coefficient[static_cast<std::size_t>(i)]);
    };
    double sum = 2.46875 * dT;
    sum += c(0) * m * m / 8192.0;
    sum += c(1) * m / 64.0;
    sum += c(2) * dT * dT / 16384.0;
    sum += c(3) * dT / 32.0;
    sum += c(4) * m * m * dT * dT / 67108864.0;
    sum += c(5) * m * m * dT / 262144.0;
    sum += c(6) * m * dT * dT / 524288.0;
    sum += c(7) * m * dT / 4096.0;
    sum += c(8);
    return sum / 200.0;
}

double ComputeDistance(const LookupTable& table, std::uint32_t rawRange, std::uint32_t levelWord,
                       std::int32_t averagingCount, double sampleRateOffset) {
    return ComputeAdjustedDistance(table, rawRange, levelWord,
                                   AdjustmentForAveragingCount(averagingCount), sampleRateOffset,
                                   nullptr);
}

double ComputeDistance(std::uint32_t rawRange, std::uint32_t levelWord,
                       std::int32_t averagingCount, double sampleRateOffset) {
    return ComputeDistance(ProgramLookupTable(), rawRange, levelWord, averagingCount,
                           sampleRateOffset);
}

}  // namespace velscan
