#pragma once
// The table's angles are encoder counts: the mirror's 4096 a turn, the slow
// axis's 200 a turn, so a slow-axis angle stays the same for thousands of
// samples while the axis moves on. Samples come at a regular sample clock, so
// within a run of contiguous samples each axis moves smoothly with the sample
// index; its position between encoder steps is recovered from that.
//
// Runs of contiguous samples end where sampling did not go on regularly (a
// restart, samples lost in an overflow): there an encoder jumps by more than
// its local rate allows. Nothing is carried across such a gap.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velscan::exporter {

struct RecoveredAngles {
    std::vector<double> mirror;  // radians, cumulative like the table's
    std::vector<double> slowAxis;
    std::size_t runs = 0;        // runs of contiguous samples found
};

// Encoder counts behind a column of angles (count × 2π / countsPerTurn).
std::vector<std::uint32_t> CountsFromAngles(std::span<const double> angles,
                                            std::uint32_t countsPerTurn);

// Start index of every run of contiguous samples (the first is 0), judged by
// both encoders.
std::vector<std::size_t> FindRuns(std::span<const std::uint32_t> mirrorCounts,
                                  std::span<const std::uint32_t> slowCounts);

// Position of one encoder, in counts, for every sample. Where a run gives too
// little to go on, the count itself (the table's value).
std::vector<double> RecoverPositions(std::span<const std::uint32_t> counts,
                                     std::span<const std::size_t> runStarts);

RecoveredAngles RecoverAngles(std::span<const double> angle1, std::span<const double> angle2);

}  // namespace velscan::exporter
