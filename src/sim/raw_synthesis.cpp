#include "sim/raw_synthesis.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "conversion/distance.hpp"
#include "conversion/range_interpolation.hpp"
#include "conversion/raw_range.hpp"
#include "conversion/samples.hpp"
#include "sim/noise.hpp"

namespace velscan::sim {

namespace {

constexpr std::uint32_t kMaxRaw = std::numeric_limits<std::uint32_t>::max() - 1;
constexpr int kWalkSteps = 16;
constexpr int kEncodeAttempts = 8;

std::uint32_t ClampRaw(double raw) {
    if (!(raw > 0.0)) return 0;
    if (raw >= static_cast<double>(kMaxRaw)) return kMaxRaw;
    return static_cast<std::uint32_t>(std::llround(raw));
}

std::optional<std::uint32_t> Compose(std::int64_t o, std::int32_t b, std::int32_t c,
                                     std::int32_t pick, std::uint32_t rawRange) {
    if (b < -4096 || b > 4095) return std::nullopt;
    const auto shift = FineBandShift(b, c);
    if (!shift || o < 0) return std::nullopt;
    const std::int64_t a = 4 * o - *shift + pick;
    if (a < 0 || a > kMaxCoarseCount) return std::nullopt;
    const std::uint32_t word = RangeWordFromFields(static_cast<std::uint32_t>(a), b);
    std::uint32_t decoded = 0;
    if (!RawRangeFromWord(c, word, decoded) || decoded != rawRange) return std::nullopt;
    return word;
}

}  // namespace

std::optional<std::uint32_t> EncodeRangeWord(std::uint32_t rawRange, std::int32_t c,
                                             std::uint64_t choice) {
    if (c < 1) return std::nullopt;
    const double tLow = static_cast<double>(rawRange) / kRawRangeScale;
    const double tHigh = (static_cast<double>(rawRange) + 1.0) / kRawRangeScale;

    for (int attempt = 0; attempt < kEncodeAttempts; ++attempt) {
        const std::uint64_t bits = Mix64(choice + static_cast<std::uint64_t>(attempt) *
                                                      0x9E3779B97F4A7C15ull);
        // The interpolator's phase: a time anywhere inside the raw range's window.
        const double u = static_cast<double>(bits >> 11) * 0x1.0p-53;
        const double t = tLow + u * (tHigh - tLow);
        const double whole = std::floor(t);
        const auto o = static_cast<std::int64_t>(whole);
        const auto fine = static_cast<std::int32_t>(std::llround((t - whole) * c));
        const auto pick = static_cast<std::int32_t>(bits & 3u);

        std::optional<std::uint32_t> word;
        switch ((bits >> 2) % 3) {
        case 1:  // negative fine value: t = (o + 1) + b / c
            if (fine < c) word = Compose(o, fine - c, c, pick, rawRange);
            break;
        case 2:  // past a whole count: the last band reaches 1.125 c
            if (fine + c <= 4.5 * (c / 4.0)) word = Compose(o - 1, fine + c, c, pick, rawRange);
            break;
        default:
            break;
        }
        if (!word) word = Compose(o, fine, c, pick, rawRange);
        if (word) return word;
    }

    // Unusual calibration values: take the first encoding that decodes right.
    const auto oLow = static_cast<std::int64_t>(std::floor(tLow)) - 1;
    const auto oHigh = static_cast<std::int64_t>(std::floor(tHigh)) + 1;
    for (std::int64_t o = oLow; o <= oHigh; ++o) {
        for (std::int32_t b = std::max(-4096, -c); b <= std::min(4095, c + c / 8); ++b) {
            for (std::int32_t pick = 0; pick < 4; ++pick) {
                if (auto word = Compose(o, b, c, pick, rawRange)) return word;
            }
        }
    }
    return std::nullopt;
}

RawSynthesis::RawSynthesis(std::shared_ptr<const LookupTable> table, double sampleRateOffset)
    : table_(std::move(table)), sampleRateOffset_(sampleRateOffset), prefixes_(*table_) {
    const auto& distances = table_->columnDistance;
    spanColumns_ = 1;
    while (spanColumns_ < kLookupColumns &&
           distances[spanColumns_] > distances[spanColumns_ - 1])
        ++spanColumns_;
    spanLow_ = distances[0];
    spanHigh_ = distances[spanColumns_ - 1];

    rowMaximum_.assign(kLookupRows, 0.0f);
    for (int row = 0; row < kLookupRows; ++row) {
        for (float entry : table_->rangeTable[row]) rowMaximum_[row] = std::max(rowMaximum_[row], entry);
        prefixes_.Of(static_cast<std::uint32_t>(row));
    }
}

double RawSynthesis::DistanceOf(std::uint32_t rawRange, std::uint32_t amplitude,
                                std::uint32_t temperatureByte,
                                std::int32_t averagingCount) const {
    const std::uint32_t levelWord = LevelWord(EncodeStatusWord(0, temperatureByte, 0, amplitude));
    return ComputeAdjustedDistance(*table_, rawRange, levelWord,
                                   AdjustmentForAveragingCount(averagingCount), sampleRateOffset_,
                                   &prefixes_);
}

std::optional<std::uint32_t> RawSynthesis::Estimate(double distance, std::uint32_t amplitude,
                                                    std::uint32_t temperatureByte,
                                                    std::int32_t averagingCount) const {
    if (spanColumns_ < 2) return std::nullopt;
    const auto& columns = table_->columnDistance;
    const auto& row = table_->rangeTable[amplitude];
    const double temperature = TemperatureFromByte(temperatureByte);

    // Solve d - correction(d) = distance for the interpolated distance d.
    double interpolated = distance;
    int k = 1;
    double f = 0.0;
    for (int iteration = 0; iteration < 3; ++iteration) {
        const auto upper = std::upper_bound(columns.begin() + 1, columns.begin() + spanColumns_ - 1,
                                            static_cast<float>(interpolated));
        k = static_cast<int>(upper - columns.begin());
        f = (interpolated - columns[k - 1]) / (static_cast<double>(columns[k]) - columns[k - 1]);
        interpolated =
            distance + ComputeDistanceCorrection(*table_, temperature, interpolated, k, f);
    }
    if (!(row[k - 1] > 0.0f) || !(row[k] > 0.0f)) return std::nullopt;
    const double normalised = row[k - 1] + f * (static_cast<double>(row[k]) - row[k - 1]);
    const AveragingAdjustment scale = AdjustmentForAveragingCount(averagingCount);
    return ClampRaw(normalised / scale.scale + scale.subtract - sampleRateOffset_);
}

RawRangeMatch RawSynthesis::BinarySearch(double distance, std::uint32_t amplitude,
                                         std::uint32_t temperatureByte,
                                         std::int32_t averagingCount) const {
    const AveragingAdjustment scale = AdjustmentForAveragingCount(averagingCount);
    const double top = 2.0 * rowMaximum_[amplitude] + 1000.0;
    std::uint32_t low = 0;
    std::uint32_t high = ClampRaw(top / scale.scale + scale.subtract + 64.0);
    // The first raw range whose distance reaches the target.
    while (low < high) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (DistanceOf(middle, amplitude, temperatureByte, averagingCount) < distance)
            low = middle + 1;
        else
            high = middle;
    }
    const double above = DistanceOf(low, amplitude, temperatureByte, averagingCount);
    if (low > 0) {
        const double below = DistanceOf(low - 1, amplitude, temperatureByte, averagingCount);
        if (std::fabs(below - distance) <= std::fabs(above - distance)) return {low - 1, below};
    }
    return {low, above};
}

std::optional<RawRangeMatch> RawSynthesis::RawRangeFor(double distance, std::uint32_t amplitude,
                                                       std::uint32_t temperatureByte,
                                                       std::int32_t averagingCount) const {
    amplitude &= 0xFFu;
    if (!(rowMaximum_[amplitude] > 0.0f)) return std::nullopt;
    const auto estimate = Estimate(distance, amplitude, temperatureByte, averagingCount);
    if (!estimate) return BinarySearch(distance, amplitude, temperatureByte, averagingCount);

    // Walk from the estimate to the two raw ranges whose distances bracket the
    // target, then take the closer; far off means the row is not smooth there.
    auto at = [&](std::uint32_t raw) {
        return DistanceOf(raw, amplitude, temperatureByte, averagingCount);
    };
    auto closer = [distance](RawRangeMatch low, RawRangeMatch high) {
        return std::fabs(low.distance - distance) <= std::fabs(high.distance - distance) ? low
                                                                                        : high;
    };
    RawRangeMatch here{*estimate, at(*estimate)};
    for (int step = 0; step < kWalkSteps; ++step) {
        if (here.distance < distance) {
            if (here.rawRange >= kMaxRaw) return here;
            const RawRangeMatch next{here.rawRange + 1, at(here.rawRange + 1)};
            if (next.distance >= distance) return closer(here, next);
            here = next;
        } else {
            if (here.rawRange == 0) return here;
            const RawRangeMatch previous{here.rawRange - 1, at(here.rawRange - 1)};
            if (previous.distance < distance) return closer(previous, here);
            here = previous;
        }
    }
    return BinarySearch(distance, amplitude, temperatureByte, averagingCount);
}

}  // namespace velscan::sim
