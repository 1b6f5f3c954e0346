#pragma once
// The layout the pictures and the gridded point formats share: the slow-axis
// angle runs across (one column per mirror turn, as far as the slow axis
// resolves it), the mirror angle, taken modulo a turn, runs down from 0
// (horizontal) at the top row. Cells are numbered row by row.

#include <vector>

#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

namespace velscan::exporter {

inline constexpr int kMaxPictureSide = 3000;

struct PanoramaLayout {
    int width = 1;
    int height = 1;
    double slowMin = 0.0;
    double slowSpan = 0.0;
    // The grid of a scan whose slow axis does not tell its mirror turns apart
    // takes a column per turn counted from the mirror's lowest angle instead.
    bool columnPerTurn = false;
    double mirrorMin = 0.0;
};

// The pictures' layout: square pixels in angle where the slow axis moved,
// between 64 and kMaxPictureSide rows.
PanoramaLayout ChoosePanorama(const ScanTable& table, const ScanAngles& angles);

// The scan's grid: rows as fine as the mirror's angular step between
// samples, so that nearly every sample has a cell of its own (at most
// kMaxRows rows), and the pictures' columns where the slow axis takes at
// least two positions a mirror turn. A slow axis that moves less (a short
// scan, whose encoder angle is kept as it stands, or raw angles) would put
// several turns into one column: its grid has a column per mirror turn.
PanoramaLayout ChooseGrid(const ScanTable& table, const ScanAngles& angles);

// Cell (y * width + x) of each row, or -1 for a row outside the layout (an
// angle that is not finite).
std::vector<int> CellsOfRows(const ScanAngles& angles, const PanoramaLayout& layout);

}  // namespace velscan::exporter
