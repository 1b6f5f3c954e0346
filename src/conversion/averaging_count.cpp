#include "conversion/averaging_count.hpp"

namespace velscan {

namespace {

// Two's complement wrap-around of 32-bit sums and products, without the
// undefined behaviour of a signed overflow.
std::int32_t WrappingMultiply(std::int32_t x, std::int32_t y) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(x) * static_cast<std::uint32_t>(y));
}

std::int32_t WrappingAdd(std::int32_t x, std::int32_t y) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(x) + static_cast<std::uint32_t>(y));
}

constexpr std::int32_t kMaxAveragingCount = 128;

}  // namespace

std::int32_t ComputeAveragingCount(std::int32_t samplePeriod, std::int32_t maxRange) {
    std::int32_t period = samplePeriod;
    if (period >= 100) period -= 30;
    const std::int32_t divisor = WrappingAdd(maxRange, 48);
    if (divisor <= 0) return 0;
    std::int32_t v = WrappingMultiply(period, 40) / divisor;
    if (v < 1) return 0;
    if (v > kMaxAveragingCount) return kMaxAveragingCount;
    // The largest power of two not above v: count the halvings that leave it
    // nonzero.
    int halvings = 0;
    for (int i = 0; i < 7; ++i) {
        v /= 2;
        if (v != 0) ++halvings;
    }
    return std::int32_t{1} << halvings;
}

}  // namespace velscan
