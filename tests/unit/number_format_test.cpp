#include "scanfile/number_format.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <iterator>
#include <string>

namespace velscan {
namespace {

// The sanitised debug build is far slower; it checks fewer random values.
#ifdef NDEBUG
constexpr int kRandomScale = 5;
#else
constexpr int kRandomScale = 2;
#endif

// Every precision the measurement table uses.
constexpr int kTablePrecisions[] = {1, 2, 4};

std::string Fixed(double value, int precision) {
    char buffer[kMaxFixedChars + 1];
    char* end = buffer;
    switch (precision) {
        case 1: end = FormatFixed<1>(buffer, value); break;
        case 2: end = FormatFixed<2>(buffer, value); break;
        case 4: end = FormatFixed<4>(buffer, value); break;
        default: ADD_FAILURE() << "no formatter for precision " << precision;
    }
    return std::string(buffer, end);
}

std::string Printf(double value, int precision) {
    char buffer[kMaxFixedChars + 2];
    const int length = std::snprintf(buffer, sizeof buffer, "%.*f", precision, value);
    return std::string(buffer, static_cast<std::size_t>(length));
}


// Compares with printf at each of `precisions`; returns the number of
// mismatches (reported once each).
template <std::size_t N>
int CompareAt(const int (&precisions)[N], double value) {
    int mismatches = 0;
    for (int precision : precisions) {
        const std::string expected = Printf(value, precision);
        const std::string actual = Fixed(value, precision);
        if (actual != expected) {
            ++mismatches;
            ADD_FAILURE() << "value " << std::hexfloat << value << " precision " << precision
                          << ": got " << actual << ", printf gives " << expected;
        }
    }
    return mismatches;
}

int CompareAtTablePrecisions(double value) { return CompareAt(kTablePrecisions, value); }

TEST(FormatFixed, PrintsSignsSpecialValuesAndExtremesAsPrintfDoes) {
    EXPECT_EQ(Fixed(0.0, 2), "0.00");
    EXPECT_EQ(Fixed(-0.0, 2), "-0.00");
    EXPECT_EQ(Fixed(-0.001, 2), "-0.00");
    EXPECT_EQ(Fixed(-0.04, 1), "-0.0");
    EXPECT_EQ(Fixed(-1.25, 1), "-1.2");
    EXPECT_EQ(Fixed(std::numeric_limits<double>::quiet_NaN(), 2), "nan");
    EXPECT_EQ(Fixed(-std::numeric_limits<double>::quiet_NaN(), 2), "-nan");
    EXPECT_EQ(Fixed(std::numeric_limits<double>::infinity(), 4), "inf");
    EXPECT_EQ(Fixed(-std::numeric_limits<double>::infinity(), 1), "-inf");
    EXPECT_EQ(Fixed(4294967295.0, 4), "4294967295.0000");
    EXPECT_EQ(Fixed(429496.72955, 4), Printf(429496.72955, 4));
    EXPECT_EQ(Fixed(1e22, 1), "10000000000000000000000.0");
    EXPECT_EQ(Fixed(123.456, 2), "123.46");
    EXPECT_EQ(Fixed(1.5707963267948966, 4), "1.5708");
    EXPECT_EQ(Fixed(99.99, 1), "100.0");
    EXPECT_EQ(Fixed(0.99999, 4), "1.0000");

    const double specials[] = {0.0,
                               -0.0,
                               std::numeric_limits<double>::max(),
                               -std::numeric_limits<double>::max(),
                               std::numeric_limits<double>::min(),
                               std::numeric_limits<double>::denorm_min(),
                               -std::numeric_limits<double>::denorm_min(),
                               4294967295.0,
                               4294967296.0,
                               std::nextafter(4294967296.0, 0.0),
                               4294967295.5,
                               429496729.55,
                               42949672.955,
                               9007199254740993.0,
                               1e300,
                               5e-5,
                               4.9999999e-5,
                               0.5e-4,
                               1.0 / 3.0,
                               -2.0 / 3.0};
    for (double value : specials) CompareAtTablePrecisions(value);
}

TEST(FormatFixed, ResolvesExactBinaryTiesToEven) {
    EXPECT_EQ(Fixed(-0.25, 1), "-0.2");
    EXPECT_EQ(Fixed(0.25, 1), "0.2");
    EXPECT_EQ(Fixed(0.75, 1), "0.8");
    EXPECT_EQ(Fixed(0.125, 2), "0.12");
    EXPECT_EQ(Fixed(0.375, 2), "0.38");
    EXPECT_EQ(Fixed(0.03125, 4), "0.0312");
    EXPECT_EQ(Fixed(0.09375, 4), "0.0938");

    // k / 2^(p+1) with k odd has p+1 decimals ending in 5: an exact tie at precision p.
    std::mt19937_64 random(1);
    for (int precision : kTablePrecisions) {
        const double step = std::ldexp(1.0, -(precision + 1));
        for (int i = 0; i < 2000; ++i) {
            const double whole = static_cast<double>(random() % 100000);
            const double odd = static_cast<double>(2 * (random() % (1u << precision)) + 1);
            const double tie = whole + odd * step;
            EXPECT_EQ(Fixed(tie, precision), Printf(tie, precision));
            EXPECT_EQ(Fixed(-tie, precision), Printf(-tie, precision));
        }
    }
}

TEST(FormatFixed, MatchesPrintfNextToDecimalHalves) {
    // x.5, x.x5, x.xx5, x.xxxx5 as written in decimal are not exact doubles:
    // the nearest double and its neighbours lie just above or below the tie.
    EXPECT_EQ(Fixed(2.675, 2), "2.67");  // 2.67499999999999982236431605997495353221893310546875
    EXPECT_EQ(Fixed(1.005, 2), "1.00");
    EXPECT_EQ(Fixed(0.15, 1), "0.1");  // 0.1499999999999999944488848768742172978818416595458984375
    EXPECT_EQ(Fixed(0.35, 1), "0.3");
    EXPECT_EQ(Fixed(0.45, 1), "0.5");  // 0.450000000000000011102230246251565404236316680908203125
    std::mt19937_64 random(2);
    for (int precision : kTablePrecisions) {
        const double scale = std::pow(10.0, precision);
        for (int i = 0; i < 5000 * kRandomScale; ++i) {
            const double half = (static_cast<double>(random() % 10000000) + 0.5) / scale;
            for (double value : {half, std::nextafter(half, 0.0), std::nextafter(half, 1e9)}) {
                if (CompareAtTablePrecisions(value) > 0) return;
            }
        }
    }
}

TEST(FormatFixed, MatchesPrintfForRandomBitPatterns) {
    std::mt19937_64 random(3);
    for (int i = 0; i < 20000 * kRandomScale; ++i) {
        const double value = std::bit_cast<double>(random());
        // C libraries differ on the sign of a negative NaN ("-nan" here, "nan"
        // with MinGW); the formatter's own spelling is checked above.
        if (std::isnan(value)) continue;
        if (CompareAtTablePrecisions(value) > 0) return;
    }
    // Exponents around the fast path's bound, where most table values lie.
    std::uniform_int_distribution<int> exponent(-40, 45);
    for (int i = 0; i < 100000 * kRandomScale; ++i) {
        const double mantissa = std::bit_cast<double>((random() >> 12) | 0x3FF0000000000000u);
        const double value = std::ldexp(mantissa, exponent(random)) * ((i & 1) ? -1.0 : 1.0);
        if (CompareAtTablePrecisions(value) > 0) return;
    }
}

TEST(FormatFixed, MatchesPrintfForValuesOfARealisticTable) {
    std::mt19937_64 random(4);
    std::uniform_real_distribution<double> distance(0.0, 650.0);
    std::uniform_real_distribution<double> revolutions(0.0, 6.3);
    std::uniform_real_distribution<double> manyRevolutions(0.0, 7000.0);
    for (int i = 0; i < 100000 * kRandomScale; ++i) {
        const double values[] = {
            distance(random),
            static_cast<double>(random() % 256),
            static_cast<double>(random() % 256) * 0.6023 + 5.3478,
            revolutions(random),
            static_cast<double>(random() % 4096) * (6.283185307179586 / 4096),
            static_cast<double>(random() % 20000000) * (6.283185307179586 / 4096),
            manyRevolutions(random),
            static_cast<double>(random() % 200) * (6.283185307179586 / 200)};
        for (double value : values) {
            if (CompareAtTablePrecisions(value) > 0) return;
        }
    }
}

TEST(FormatUnsigned, PrintsEveryThirtyTwoBitValueAsPrintfDoes) {
    auto format = [](std::uint32_t value) {
        char buffer[kMaxUnsignedChars];
        return std::string(buffer, FormatUnsigned(buffer, value));
    };
    EXPECT_EQ(format(0), "0");
    EXPECT_EQ(format(9), "9");
    EXPECT_EQ(format(10), "10");
    EXPECT_EQ(format(10489), "10489");
    EXPECT_EQ(format(4294967295u), "4294967295");
    std::mt19937 random(5);
    for (int i = 0; i < 100000; ++i) {
        const std::uint32_t value = static_cast<std::uint32_t>(random()) >> (random() % 32);
        char expected[16];
        std::snprintf(expected, sizeof expected, "%u", static_cast<unsigned>(value));
        ASSERT_EQ(format(value), expected);
    }
}

}  // namespace
}  // namespace velscan
