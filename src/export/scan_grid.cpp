#include "export/scan_grid.hpp"

namespace velscan::exporter {

ScanGrid::ScanGrid(const ScanTable& table, const ScanAngles& angles)
    : layout_(ChooseGrid(table, angles)),
      rowOfCell_(static_cast<std::size_t>(layout_.width) * static_cast<std::size_t>(layout_.height), kNoReturn) {
    const std::vector<int> cells = CellsOfRows(angles, layout_);
    for (std::size_t row = 0; row < cells.size(); ++row) {
        if (cells[row] < 0 || !HasRange(table.distance[row])) continue;
        std::int32_t& shown = rowOfCell_[static_cast<std::size_t>(cells[row])];
        if (shown == kNoReturn || table.distance[row] < table.distance[static_cast<std::size_t>(shown)])
            shown = static_cast<std::int32_t>(row);
    }
}

}  // namespace velscan::exporter
