#include "conversion/range_interpolation.hpp"

#include <limits>

#include "conversion/message_sink.hpp"
#include "conversion/raw_range.hpp"
#include "conversion/samples.hpp"

namespace velscan {

namespace {

// Band thresholds are odd multiples of c / 8: b <= m * c / 8 is compared as
// 8 * b <= m * c in 64-bit integers, exactly.
bool AtOrBelow(std::int64_t b, std::int64_t eighths, std::int64_t c) {
    return 8 * b <= eighths * c;
}

std::int64_t Quarter(std::int64_t value) { return value / 4; }  // truncates toward zero

// b / c in double; a calibration value of 0 gives the IEEE quotient
// (infinity, or not a number for 0 / 0) without dividing by zero.
double FineFraction(std::int32_t b, std::int32_t c) {
    if (c == 0) {
        if (b == 0) return std::numeric_limits<double>::quiet_NaN();
        return b > 0 ? std::numeric_limits<double>::infinity()
                     : -std::numeric_limits<double>::infinity();
    }
    return static_cast<double>(b) / static_cast<double>(c);
}

// Standard output first, then standard error.
void ReportBeyondLastBand() {
    static constexpr const char* kMessage = "*** Not valid 5 ***\n";
    MessageSink& sink = CurrentMessageSink();
    sink.Print(MessageStream::Output, kMessage);
    sink.Print(MessageStream::Error, kMessage);
}

}  // namespace

std::optional<std::int32_t> FineBandShift(std::int32_t b, std::int32_t c) {
    if (b >= 0) {
        if (AtOrBelow(b, 1, c) || AtOrBelow(b, 3, c)) return 1;  // bands 1 and 2
        if (AtOrBelow(b, 5, c)) return 0;
        if (AtOrBelow(b, 7, c)) return -1;
        if (AtOrBelow(b, 9, c)) return -2;  // band 5
        return std::nullopt;
    }
    if (AtOrBelow(b, -7, c) || AtOrBelow(b, -5, c)) return 1;  // bands 1 and 2
    if (AtOrBelow(b, -3, c)) return 0;
    if (AtOrBelow(b, -1, c)) return -1;
    return -2;
}

double InterpolateCoarseFine(std::int32_t a, std::int32_t b, std::int32_t c) {
    const double f = FineFraction(b, c);
    const std::optional<std::int32_t> shift = FineBandShift(b, c);
    // Beyond the last band: the messages, then the last band's term.
    if (!shift) ReportBeyondLastBand();
    const std::int64_t o = Quarter(std::int64_t{a} + shift.value_or(-2));
    if (b >= 0) return static_cast<double>(o) + f;
    return static_cast<double>(o + 1) + f;
}

std::uint32_t RawRangeFromTime(double t) {
    const double product = t * kRawRangeScale;
    // The int64 range is [-2^63, 2^63); both bounds are exact doubles. The
    // negated test also sends a value that is not a number to 0.
    constexpr double kTwoPow63 = 9223372036854775808.0;
    if (!(product >= -kTwoPow63 && product < kTwoPow63)) return 0;
    const auto truncated = static_cast<std::int64_t>(product);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(truncated));
}

bool RawRangeFromWord(std::int32_t calibrationValue, std::uint32_t rangeWord,
                      std::uint32_t& rawRange) {
    if ((rangeWord & kRangeInvalidBit) != 0) return false;
    const RangeWordFields fields = DecodeRangeWord(rangeWord);
    rawRange = RawRangeFromTime(InterpolateCoarseFine(fields.coarse, fields.fine, calibrationValue));
    return true;
}

}  // namespace velscan
