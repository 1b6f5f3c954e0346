// The figures of one line: the range rule of the table, the nearest-rank
// points against a full sort, a line without any range, the mirror's speed,
// and the store of a scan's lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <stdexcept>
#include <vector>

#include "scanfile/line_figures.hpp"

namespace velscan {
namespace {

std::vector<Measurement> Rows(std::size_t count) {
    std::vector<Measurement> rows(count);
    for (Measurement& row : rows) row = Measurement{};
    return rows;
}

TEST(LineFigures, NearestRankPointsAgreeWithAFullSort) {
    std::mt19937 random(5);
    std::uniform_int_distribution<int> hundredths(1, 400);  // duplicates on purpose
    std::bernoulli_distribution noRange(0.3);
    for (const std::size_t size : {1u, 2u, 3u, 19u, 20u, 21u, 101u, 5000u}) {
        std::vector<Measurement> rows = Rows(size);
        std::vector<double> ranged;
        for (Measurement& row : rows) {
            row.distance = noRange(random) ? 0.0 : hundredths(random) / 100.0;
            if (row.distance != 0.0) ranged.push_back(row.distance);
        }
        std::vector<double> scratch(size);
        const LineFigures figures = ComputeLineFigures(rows, 20, false, scratch);
        EXPECT_DOUBLE_EQ(figures.withRange, static_cast<double>(ranged.size()) / static_cast<double>(size));
        if (ranged.empty()) continue;
        std::sort(ranged.begin(), ranged.end());
        const auto rank = [&ranged](double percent) {
            // 1-based rank ceil(p n / 100), in floating point for the reference.
            const auto r = static_cast<std::size_t>(std::ceil(percent * static_cast<double>(ranged.size()) / 100.0));
            return ranged[std::max<std::size_t>(r, 1) - 1];
        };
        ASSERT_TRUE(figures.distanceMedian.has_value()) << size;
        EXPECT_EQ(*figures.distanceP5, rank(5)) << size;
        EXPECT_EQ(*figures.distanceMedian, rank(50)) << size;
        EXPECT_EQ(*figures.distanceP95, rank(95)) << size;
    }
}

TEST(LineFigures, FullLinesOfEveryShapeAgreeWithAFullSort) {
    // Ordered either way, all equal, two values, a long tail, smooth noise:
    // the windowed selection and its fallback both give the nearest ranks.
    std::mt19937 random(11);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    const std::vector<double (*)(std::size_t, double)> shapes{
        [](std::size_t i, double) { return 1.0 + static_cast<double>(i); },
        [](std::size_t i, double) { return 6000.0 - static_cast<double>(i); },
        [](std::size_t, double) { return 42.0; },
        [](std::size_t i, double) { return i % 3 == 0 ? 10.0 : 20.0; },
        [](std::size_t i, double) { return i % 100 == 0 ? 1e300 : 30.0 + static_cast<double>(i % 7); },
        [](std::size_t i, double r) { return 200.0 + 150.0 * std::sin(static_cast<double>(i) * 0.0025) + r; }};
    std::vector<double> scratch(kSamplesPerLine);
    for (std::size_t shape = 0; shape < shapes.size(); ++shape) {
        std::vector<Measurement> rows = Rows(kSamplesPerLine);
        std::vector<double> sorted;
        for (std::size_t i = 0; i < rows.size(); ++i) sorted.push_back(rows[i].distance = shapes[shape](i, noise(random)));
        std::sort(sorted.begin(), sorted.end());
        const LineFigures figures = ComputeLineFigures(rows, 20, false, scratch);
        EXPECT_EQ(*figures.distanceP5, sorted[249]) << shape;
        EXPECT_EQ(*figures.distanceMedian, sorted[2499]) << shape;
        EXPECT_EQ(*figures.distanceP95, sorted[4749]) << shape;
    }
}

TEST(LineFigures, RangeFollowsTheTablesTwoDecimals) {
    // Two decimals: -0.004 and 0.004 read 0.00 (no range); 0.005 and -0.01 do not.
    std::vector<Measurement> rows = Rows(6);
    const double distances[] = {-0.004, 0.004, 0.0, 0.005, -0.01, 12.5};
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i].distance = distances[i];
    std::vector<double> scratch(rows.size());
    const LineFigures figures = ComputeLineFigures(rows, 20, true, scratch);
    EXPECT_DOUBLE_EQ(figures.withRange, 0.5);
    EXPECT_EQ(*figures.distanceP5, -0.01);
    EXPECT_EQ(*figures.distanceMedian, 0.005);  // rank ceil(1.5) = 2 of 3
    EXPECT_EQ(*figures.distanceP95, 12.5);
    EXPECT_TRUE(figures.lostSamples);
}

TEST(LineFigures, ALineWithoutRangeHasNoDistancesButItsMeans) {
    std::vector<Measurement> rows = Rows(kSamplesPerLine);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].amplitude = static_cast<double>(i % 2 == 0 ? 10 : 20);
        rows[i].temperature = TemperatureFromByte(i % 2 == 0 ? 100 : 110);
        rows[i].angle1 = static_cast<double>(i) * 1e-3;
    }
    std::vector<double> scratch(kSamplesPerLine);
    const LineFigures figures = ComputeLineFigures(rows, 20, false, scratch);
    EXPECT_EQ(figures.withRange, 0.0);
    EXPECT_FALSE(figures.distanceP5 || figures.distanceMedian || figures.distanceP95);
    EXPECT_EQ(figures.meanAmplitude, 15.0);
    EXPECT_NEAR(figures.meanTemperature, TemperatureFromByte(105), 1e-9);
    ASSERT_TRUE(figures.mirrorTurnsPerSecond.has_value());
}

TEST(LineFigures, MirrorSpeedFromTheFirstAndLastAngle) {
    // 20 turns per second sampled every 20 us: 2 pi * 20 * 20e-6 radians a row.
    std::vector<Measurement> rows = Rows(kSamplesPerLine);
    const double step = 2.0 * std::numbers::pi * 20.0 * 20e-6;
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i].angle1 = 100.0 + static_cast<double>(i) * step;
    std::vector<double> scratch(kSamplesPerLine);
    EXPECT_NEAR(*ComputeLineFigures(rows, 20, false, scratch).mirrorTurnsPerSecond, 20.0, 1e-9);
    // Sampled every 40 us the same angles are half the speed.
    EXPECT_NEAR(*ComputeLineFigures(rows, 40, false, scratch).mirrorTurnsPerSecond, 10.0, 1e-9);
    // No period, or a single row: no speed.
    EXPECT_FALSE(ComputeLineFigures(rows, 0, false, scratch).mirrorTurnsPerSecond);
    EXPECT_FALSE(ComputeLineFigures(std::span(rows).first(1), 20, false, scratch).mirrorTurnsPerSecond);
}

TEST(LineFigures, RefusesAScratchSmallerThanTheLine) {
    const std::vector<Measurement> rows = Rows(10);
    std::vector<double> scratch(9);
    EXPECT_THROW(ComputeLineFigures(rows, 20, false, scratch), std::invalid_argument);
}

TEST(LineFigures, TheStoreKeepsEveryLineOfARunInOrder) {
    auto store = std::make_unique<ScanLineFigures>();
    std::vector<Measurement> rows = Rows(kSamplesPerLine);
    for (std::size_t line = 0; line < kMaxLines + 2; ++line) {
        rows[0].distance = line % 2 == 0 ? 0.0 : 1.0;  // odd lines: one row with a range
        store->Add(rows, 20, line == 3);
    }
    const auto lines = store->Lines();
    ASSERT_EQ(lines.size(), kMaxLines);  // the two beyond are computed, not kept
    EXPECT_EQ(lines[0].withRange, 0.0);
    EXPECT_EQ(lines[1].withRange, 1.0 / kSamplesPerLine);
    EXPECT_TRUE(lines[3].lostSamples);
    EXPECT_FALSE(lines[4].lostSamples);
    store->Clear();
    EXPECT_TRUE(store->Lines().empty());
}

}  // namespace
}  // namespace velscan
