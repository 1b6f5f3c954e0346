#include "export/scan_grid.hpp"

#include <string>

namespace velscan::exporter {

ScanGrid::ScanGrid(const ScanTable& table, const ScanAngles& angles)
    : layout_(ChooseGrid(table, angles)),
      rowOfCell_(static_cast<std::size_t>(layout_.width) * static_cast<std::size_t>(layout_.height), kNoReturn) {
    cellOfRow_ = CellsOfRows(angles, layout_);
    const std::vector<int>& cells = cellOfRow_;
    for (std::size_t row = 0; row < cells.size(); ++row) {
        if (cells[row] < 0 || !HasPoint(table.distance[row])) continue;
        ++rowsWithRange_;
        std::int32_t& shown = rowOfCell_[static_cast<std::size_t>(cells[row])];
        if (shown != kNoReturn) ++leftOut_;
        if (shown == kNoReturn || table.distance[row] < table.distance[static_cast<std::size_t>(shown)])
            shown = static_cast<std::int32_t>(row);
    }
}

std::string ScanGrid::LeftOutReport() const {
    return std::to_string(leftOut_) + " of " + std::to_string(rowsWithRange_) +
           " rows with range are left out of the scan's grid (PTX, PCD): each fell into a cell that holds a "
           "nearer row, and a cell keeps one point";
}

}  // namespace velscan::exporter
