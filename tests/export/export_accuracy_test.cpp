// The exported points of a simulated scan of the built-in room lie on the
// room's surfaces: the angles recovered between encoder steps put at least
// 99.9 % of them within an inch, where the table's own angles miss often.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>
#include <string>

#include "conversion/beam_geometry.hpp"
#include "export/angle_recovery.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"
#include "export_fixture.hpp"
#include "sim/scene.hpp"

namespace velscan::exporter {
namespace {

constexpr double kInch = 1.0;

struct Fit {
    std::size_t points = 0;
    std::size_t off = 0;  // more than an inch from every surface
    double OffShare() const { return static_cast<double>(off) / static_cast<double>(points); }
};

Fit FitToRoom(const ScanTable& table, const ScanAngles& angles) {
    const sim::Scene room = sim::BuiltInScene();
    Fit fit;
    for (std::size_t row = 0; row < table.Rows(); ++row) {
        const double d = table.distance[row];
        if (!HasRange(d)) continue;
        const Direction3 u = BeamDirection(angles.mirror[row], angles.slowAxis[row]);
        const sim::Vec3 point{room.scanner.x + d * u.x, room.scanner.y + d * u.y,
                              room.scanner.z + d * u.z};
        ++fit.points;
        if (room.DistanceToSurface(point) > kInch) ++fit.off;
    }
    return fit;
}

TEST(ExportAccuracy, RecoveredAnglesPutTheRoomScanOnItsSurfaces) {
    const e2e::ScratchDirectory scratch("export-accuracy");
    const ScanTable table = ReadTable(SimulatedTable(scratch.Path(), "room.txt", {}, {}));
    ASSERT_EQ(table.Rows(), kMaxRows);

    const ScanAngles recovered = ExportAngles(table, false, 0.0, 0.0);
    EXPECT_EQ(recovered.runs, 1u);  // one uninterrupted run
    const Fit good = FitToRoom(table, recovered);
    EXPECT_EQ(good.points, table.Rows());
    EXPECT_LE(good.OffShare(), 0.001) << good.off << " of " << good.points << " points off";

    // The table's own angles: about one point in ten misses by more than an inch.
    const Fit raw = FitToRoom(table, ExportAngles(table, true, 0.0, 0.0));
    EXPECT_GE(raw.OffShare(), 0.05) << raw.off << " of " << raw.points << " points off";
}

TEST(ExportAccuracy, NothingIsCarriedAcrossSamplesLostInAnOverflow) {
    const e2e::ScratchDirectory scratch("export-overflow");
    // Lines 3 on lose samples: the card's buffer overflows and sampling restarts.
    const ScanTable table = ReadTable(SimulatedTable(
        scratch.Path(), "overflow.txt", {"-l", "8", "-s", "40"},
        {{"VELSCAN_SIM_SEED", "0x5eed"}, {"VELSCAN_SIM_FAULTS", "overflow@3"}}));
    const ScanAngles recovered = ExportAngles(table, false, 0.0, 0.0);
    EXPECT_GE(recovered.runs, 2u);
    const Fit fit = FitToRoom(table, recovered);
    EXPECT_LE(fit.OffShare(), 0.001) << fit.off << " of " << fit.points << " points off";

    // Offsets are zero positions: subtracting one turns the whole scan.
    const ScanAngles turned = ExportAngles(table, false, 0.0, 3.141592653589793);
    EXPECT_GE(FitToRoom(table, turned).OffShare(), 0.1);
}

TEST(AngleRecovery, SplitsAtLostSamplesAndRecoversEachSideOnItsOwn) {
    // Two encoders counting whole steps of positions linear in time; the
    // samples of 3000 sample periods are missing after sample 10000.
    std::vector<double> truthFast, truthSlow;
    std::vector<std::uint32_t> fast, slow;
    for (std::int64_t t = 0; t < 23000; ++t) {
        if (t >= 10000 && t < 13000) continue;
        truthFast.push_back(5.3 + 1.6384 * static_cast<double>(t));
        truthSlow.push_back(92.7 + 0.001 * static_cast<double>(t));
        fast.push_back(static_cast<std::uint32_t>(std::floor(truthFast.back())));
        slow.push_back(static_cast<std::uint32_t>(std::floor(truthSlow.back())));
    }
    const std::vector<std::size_t> runs = FindRuns(fast, slow);
    ASSERT_EQ(runs, (std::vector<std::size_t>{0, 10000}));
    const std::vector<double> recoveredFast = RecoverPositions(fast, runs);
    const std::vector<double> recoveredSlow = RecoverPositions(slow, runs);
    double worstFast = 0.0, worstSlow = 0.0;
    for (std::size_t i = 0; i < fast.size(); ++i) {
        worstFast = std::max(worstFast, std::fabs(recoveredFast[i] - truthFast[i]));
        worstSlow = std::max(worstSlow, std::fabs(recoveredSlow[i] - truthSlow[i]));
    }
    EXPECT_LT(worstFast, 0.05);  // in encoder steps; the counts alone are off by up to 1
    EXPECT_LT(worstSlow, 0.01);
}

}  // namespace
}  // namespace velscan::exporter
