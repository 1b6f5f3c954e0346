#include "export/angle_recovery.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "conversion/beam_geometry.hpp"
#include "export/side_by_side.hpp"

namespace velscan::exporter {
namespace {

// Rates are judged over blocks of samples; the local rate is the median over
// the blocks around, so a gap inflates only its own block.
constexpr std::size_t kRateBlock = 32;
constexpr std::size_t kRateBlocksEachSide = 7;
// At a steady rate r an encoder steps by floor(r) or ceil(r) counts a sample;
// a step further than this from r means samples are missing.
constexpr double kGapTolerance = 1.25;
constexpr double kGapToleranceShare = 0.02;

// An encoder that steps at least this often (counts per sample) is read by a
// running straight-line fit; a slower one by its step instants.
constexpr double kDenseRate = 0.1;
constexpr std::size_t kFitBlock = 256;  // fit window: the block and one on each side
constexpr std::size_t kMinRunForFit = 16;

std::int64_t Step(std::uint32_t from, std::uint32_t to) {
    return static_cast<std::int32_t>(to - from);  // counts wrap at 2^32
}

// Local rate (counts per sample) for every block of kRateBlock samples.
std::vector<double> LocalRates(std::span<const std::uint32_t> counts) {
    const std::size_t blocks = (counts.size() + kRateBlock - 1) / kRateBlock;
    std::vector<double> blockRate(blocks, 0.0);
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t first = b * kRateBlock;
        const std::size_t last = std::min(first + kRateBlock, counts.size()) - 1;
        if (last > first)
            blockRate[b] = static_cast<double>(Step(counts[first], counts[last])) /
                           static_cast<double>(last - first);
    }
    std::vector<double> local(blocks, 0.0);
    std::array<double, 2 * kRateBlocksEachSide + 1> window{};
    for (std::size_t b = 0; b < blocks; ++b) {
        const std::size_t from = b > kRateBlocksEachSide ? b - kRateBlocksEachSide : 0;
        const std::size_t to = std::min(blocks, b + kRateBlocksEachSide + 1);
        std::copy(blockRate.begin() + static_cast<std::ptrdiff_t>(from),
                  blockRate.begin() + static_cast<std::ptrdiff_t>(to), window.begin());
        const std::size_t n = to - from;
        std::nth_element(window.begin(), window.begin() + n / 2, window.begin() + n);
        local[b] = window[n / 2];
    }
    return local;
}

void MarkGaps(std::span<const std::uint32_t> counts, std::vector<bool>& gapBefore) {
    const std::vector<double> rate = LocalRates(counts);
    for (std::size_t i = 1; i < counts.size(); ++i) {
        const double r = rate[i / kRateBlock];
        const double step = static_cast<double>(Step(counts[i - 1], counts[i]));
        if (std::fabs(step - r) > kGapTolerance + kGapToleranceShare * std::fabs(r))
            gapBefore[i] = true;
    }
}

// Positions relative to the run's first count, unwrapped.
std::vector<std::int64_t> Unwrapped(std::span<const std::uint32_t> run) {
    std::vector<std::int64_t> position(run.size());
    std::int64_t p = 0;
    for (std::size_t i = 0; i < run.size(); ++i) {
        if (i > 0) p += Step(run[i - 1], run[i]);
        position[i] = p;
    }
    return position;
}

// The true position lies in [count, count + 1): an encoder counts whole steps.
double InCell(double estimate, std::int64_t count) {
    return std::clamp(estimate, static_cast<double>(count), static_cast<double>(count) + 0.999);
}

// Dense steps: a straight line fitted to the cell middles around each block.
void FitDense(const std::vector<std::int64_t>& c, std::span<double> out) {
    const std::size_t n = c.size();
    for (std::size_t blockStart = 0; blockStart < n; blockStart += kFitBlock) {
        const std::size_t blockEnd = std::min(n, blockStart + kFitBlock);
        const std::size_t from = blockStart >= kFitBlock ? blockStart - kFitBlock : 0;
        const std::size_t to = std::min(n, blockEnd + kFitBlock);
        const double centre = static_cast<double>(from + to - 1) / 2.0;
        const std::int64_t base = c[(from + to - 1) / 2];
        double sumX = 0.0, sumY = 0.0, sumXX = 0.0, sumXY = 0.0;
        for (std::size_t j = from; j < to; ++j) {
            const double x = static_cast<double>(j) - centre;
            const double y = static_cast<double>(c[j] - base) + 0.5;
            sumX += x;
            sumY += y;
            sumXX += x * x;
            sumXY += x * y;
        }
        const double count = static_cast<double>(to - from);
        const double slope = (count * sumXY - sumX * sumY) / (count * sumXX - sumX * sumX);
        const double intercept = (sumY - slope * sumX) / count;
        for (std::size_t j = blockStart; j < blockEnd; ++j) {
            const double estimate = intercept + slope * (static_cast<double>(j) - centre);
            out[j] = InCell(static_cast<double>(base) + estimate, c[j]);
        }
    }
}

// Sparse steps: the axis crossed a step boundary between the samples before
// and at each step; positions in between follow a straight line through those
// crossings, and beyond the first and last the nearest such line.
bool InterpolateSparse(const std::vector<std::int64_t>& c, std::span<double> out) {
    struct Knot {
        double at;
        double value;
    };
    std::vector<Knot> knots;
    for (std::size_t i = 1; i < c.size(); ++i) {
        const std::int64_t step = c[i] - c[i - 1];
        if (step == 0) continue;
        // Boundaries crossed: c+1..c+step going up, c+step+1..c going down.
        const double boundary = static_cast<double>(c[i - 1]) + static_cast<double>(step + 1) / 2.0;
        knots.push_back({static_cast<double>(i) - 0.5, boundary});
    }
    if (knots.size() < 2) return false;
    std::size_t k = 0;  // knots[k] and knots[k + 1] bracket (or are nearest to) sample j
    for (std::size_t j = 0; j < c.size(); ++j) {
        const double x = static_cast<double>(j);
        while (k + 2 < knots.size() && knots[k + 1].at < x) ++k;
        const Knot& a = knots[k];
        const Knot& b = knots[k + 1];
        const double estimate = a.value + (b.value - a.value) * (x - a.at) / (b.at - a.at);
        out[j] = InCell(estimate, c[j]);
    }
    return true;
}

}  // namespace

std::vector<std::uint32_t> CountsFromAngles(std::span<const double> angles,
                                            std::uint32_t countsPerTurn) {
    const double factor = kFullTurn / static_cast<double>(countsPerTurn);
    std::vector<std::uint32_t> counts(angles.size());
    for (std::size_t i = 0; i < angles.size(); ++i) {
        const auto whole = static_cast<std::int64_t>(std::llround(angles[i] / factor));
        counts[i] = static_cast<std::uint32_t>(whole);
    }
    return counts;
}

std::vector<std::size_t> FindRuns(std::span<const std::uint32_t> mirrorCounts,
                                  std::span<const std::uint32_t> slowCounts) {
    std::vector<bool> gapBefore(mirrorCounts.size(), false);
    MarkGaps(mirrorCounts, gapBefore);
    MarkGaps(slowCounts, gapBefore);
    std::vector<std::size_t> starts;
    if (!mirrorCounts.empty()) starts.push_back(0);
    for (std::size_t i = 1; i < gapBefore.size(); ++i)
        if (gapBefore[i]) starts.push_back(i);
    return starts;
}

std::vector<double> RecoverPositions(std::span<const std::uint32_t> counts,
                                     std::span<const std::size_t> runStarts) {
    std::vector<double> positions(counts.size());
    for (std::size_t r = 0; r < runStarts.size(); ++r) {
        const std::size_t first = runStarts[r];
        const std::size_t end = r + 1 < runStarts.size() ? runStarts[r + 1] : counts.size();
        const std::span<const std::uint32_t> run = counts.subspan(first, end - first);
        const std::span<double> out(positions.data() + first, run.size());
        // Positions are counted from the run's first count, which the table
        // gives modulo 2^32.
        std::vector<std::int64_t> c = Unwrapped(run);
        const double base = static_cast<double>(run.front());
        const double rate = run.size() > 1 ? std::fabs(static_cast<double>(c.back())) /
                                                  static_cast<double>(run.size() - 1)
                                            : 0.0;
        bool recovered = false;
        if (rate >= kDenseRate && run.size() >= kMinRunForFit) {
            FitDense(c, out);
            recovered = true;
        } else if (rate < kDenseRate) {
            recovered = InterpolateSparse(c, out);
        }
        for (std::size_t j = 0; j < run.size(); ++j)
            out[j] = recovered ? base + out[j] : static_cast<double>(run[j]);
    }
    return positions;
}

RecoveredAngles RecoverAngles(std::span<const double> angle1, std::span<const double> angle2) {
    // Each encoder's counts and positions are worked out side by side with
    // the other's; only the runs, split by a gap in either, need both.
    const bool worthAThread = angle1.size() >= kRowsWorthAThread;
    std::vector<std::uint32_t> mirror, slow;
    SideBySide(worthAThread, [&] { mirror = CountsFromAngles(angle1, kMirrorEncoderCountsPerTurn); },
               [&] { slow = CountsFromAngles(angle2, kSlowAxisEncoderCountsPerTurn); });
    const std::vector<std::size_t> runs = FindRuns(mirror, slow);
    RecoveredAngles result;
    result.runs = runs.size();
    const auto Recover = [&runs](std::span<const std::uint32_t> counts, double factor, std::vector<double>& angles) {
        angles = RecoverPositions(counts, runs);
        for (double& a : angles) a *= factor;
    };
    SideBySide(worthAThread, [&] { Recover(mirror, kFullTurn / kMirrorEncoderCountsPerTurn, result.mirror); },
               [&] { Recover(slow, kFullTurn / kSlowAxisEncoderCountsPerTurn, result.slowAxis); });
    return result;
}

}  // namespace velscan::exporter
