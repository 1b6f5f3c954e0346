#include "export/panorama_layout.hpp"

#include <algorithm>
#include <cmath>

#include "conversion/beam_geometry.hpp"

namespace velscan::exporter {
namespace {

constexpr int kMinPictureHeight = 64;
constexpr int kDefaultPictureHeight = 1000;

// Column or row of a fraction of the layout's side; a fraction that is not
// a number (an infinite span) takes the first.
int CellOf(double fraction, int cells) {
    if (!(fraction > 0.0)) return 0;
    if (fraction >= 1.0) return cells - 1;
    return std::min(cells - 1, static_cast<int>(fraction * cells));
}

// The columns and the slow axis's range, shared by both layouts, the
// mirror's turns (at least one) and the samples a whole turn holds at the
// mirror's mean step between samples.
struct Columns {
    PanoramaLayout layout;
    double turns = 1.0;
    double samplesPerTurn = 1.0;
    std::size_t slowPositions = 1;
    double mirrorSpan = 0.0;
};

Columns ChooseColumns(const ScanTable& table, const ScanAngles& angles) {
    Columns columns;
    const std::size_t rows = table.Rows();
    if (rows == 0) return columns;
    const auto [mirrorLow, mirrorHigh] = std::minmax_element(angles.mirror.begin(), angles.mirror.end());
    const auto [slowLow, slowHigh] = std::minmax_element(angles.slowAxis.begin(), angles.slowAxis.end());
    columns.layout.slowMin = *slowLow;
    columns.layout.slowSpan = *slowHigh - *slowLow;
    columns.layout.mirrorMin = *mirrorLow;
    columns.mirrorSpan = *mirrorHigh - *mirrorLow;

    // One column per mirror turn, but no more columns than distinct slow-axis
    // positions (the table's own angles step only 200 times a turn).
    const double mirrorTurns = (*mirrorHigh - *mirrorLow) / kFullTurn;
    columns.turns = std::max(1.0, mirrorTurns);
    std::size_t slowPositions = 1;
    for (std::size_t i = 1; i < rows; ++i) slowPositions += angles.slowAxis[i] != angles.slowAxis[i - 1];
    columns.slowPositions = slowPositions;
    const double width = std::min(columns.turns, static_cast<double>(slowPositions));
    columns.layout.width = std::clamp(static_cast<int>(std::lround(width)), 1, kMaxPictureSide);
    // From the first sample to the last the mirror moved rows - 1 steps.
    columns.samplesPerTurn = mirrorTurns > 0.0 ? static_cast<double>(rows - 1) / mirrorTurns : 1.0;
    return columns;
}

}  // namespace

PanoramaLayout ChoosePanorama(const ScanTable& table, const ScanAngles& angles) {
    if (table.Rows() == 0) return PanoramaLayout{};
    Columns columns = ChooseColumns(table, angles);
    PanoramaLayout& layout = columns.layout;
    // Square pixels in angle where the slow axis moved, at most one row per
    // sample of a turn.
    const double samplesPerTurn = static_cast<double>(table.Rows()) / columns.turns;
    double height = layout.slowSpan > 0.0 && layout.width > 1
                        ? kFullTurn / (layout.slowSpan / layout.width)
                        : kDefaultPictureHeight;
    height = std::min(height, samplesPerTurn);
    layout.height = std::clamp(static_cast<int>(std::lround(height)), kMinPictureHeight, kMaxPictureSide);
    return layout;
}

PanoramaLayout ChooseGrid(const ScanTable& table, const ScanAngles& angles) {
    if (table.Rows() == 0) return PanoramaLayout{};
    Columns columns = ChooseColumns(table, angles);
    // Compared as doubles first: the samples of a turn may be beyond an int.
    const double height = std::clamp(std::round(columns.samplesPerTurn), 1.0, static_cast<double>(kMaxRows));
    columns.layout.height = std::isfinite(height) ? static_cast<int>(height) : 1;
    if (static_cast<double>(columns.slowPositions) < 2.0 * columns.turns && std::isfinite(columns.mirrorSpan)) {
        // Every row's turn has its column. A column starts at the edge of the
        // row of the lowest angle, so that a turn's samples fill its rows
        // once each and the column's last sample does not meet its first.
        const double highest = columns.layout.mirrorMin + columns.mirrorSpan;
        double within = std::fmod(columns.layout.mirrorMin, kFullTurn);
        if (within < 0.0) within += kFullTurn;
        columns.layout.mirrorMin -= std::fmod(within, kFullTurn / columns.layout.height);
        const double turns = std::floor((highest - columns.layout.mirrorMin) / kFullTurn) + 1.0;
        columns.layout.columnPerTurn = true;
        columns.layout.width = static_cast<int>(std::min(turns, static_cast<double>(kMaxPictureSide)));
    }
    return columns.layout;
}

std::vector<int> CellsOfRows(const ScanAngles& angles, const PanoramaLayout& layout) {
    std::vector<int> cell(angles.mirror.size());
    for (std::size_t row = 0; row < cell.size(); ++row) {
        if (!std::isfinite(angles.mirror[row]) || !std::isfinite(angles.slowAxis[row])) {
            cell[row] = -1;
            continue;
        }
        double turn = std::fmod(angles.mirror[row], kFullTurn);
        if (turn < 0.0) turn += kFullTurn;
        const int y = CellOf(turn / kFullTurn, layout.height);
        int x = 0;
        if (layout.columnPerTurn) {
            const double turns = std::floor((angles.mirror[row] - layout.mirrorMin) / kFullTurn);
            x = static_cast<int>(std::clamp(turns, 0.0, static_cast<double>(layout.width - 1)));
        } else {
            const double across = layout.slowSpan > 0.0
                                      ? (angles.slowAxis[row] - layout.slowMin) / layout.slowSpan
                                      : 0.0;
            x = CellOf(across, layout.width);
        }
        cell[row] = y * layout.width + x;
    }
    return cell;
}

}  // namespace velscan::exporter
