#pragma once
// The scan's grid, the view the gridded point formats write: the cells of
// the grid layout (export/panorama_layout.hpp), each holding the row whose
// point it shows, or none. Of several rows with a range in one cell the
// nearest is kept, as in the range picture; rows without range hold none,
// nor do rows whose distance no point holds (reported on their own).
// The rows so left out are counted, for the formats and the program to say.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "export/panorama_layout.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

namespace velscan::exporter {

class ScanGrid {
public:
    static constexpr std::int32_t kNoReturn = -1;

    ScanGrid(const ScanTable& table, const ScanAngles& angles);

    int Width() const { return layout_.width; }    // columns: mirror turns
    int Height() const { return layout_.height; }  // rows: mirror-angle bins
    std::size_t Cells() const { return rowOfCell_.size(); }
    // The table row shown in the cell in column x, row y, or kNoReturn.
    std::int32_t RowAt(int x, int y) const {
        return rowOfCell_[static_cast<std::size_t>(y) * static_cast<std::size_t>(layout_.width) +
                          static_cast<std::size_t>(x)];
    }

    // The cell (y * Width() + x) a table row falls into, or -1 for a row
    // outside the layout (an angle that is not finite).
    int CellOfRow(std::size_t row) const { return cellOfRow_[row]; }

    // Rows with a range that share their cell with a nearer row and are not
    // in the grid, of all rows with a range.
    std::size_t LeftOut() const { return leftOut_; }
    std::size_t RowsWithRange() const { return rowsWithRange_; }
    // "843 of 1000000 rows with range are left out of the scan's grid: ..."
    std::string LeftOutReport() const;

private:
    PanoramaLayout layout_;
    std::vector<std::int32_t> rowOfCell_;
    std::vector<int> cellOfRow_;
    std::size_t rowsWithRange_ = 0;
    std::size_t leftOut_ = 0;
};

}  // namespace velscan::exporter
