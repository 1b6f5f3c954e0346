#include "export/scan_points.hpp"

#include "export/side_by_side.hpp"

namespace velscan::exporter {

ScanPoints::ScanPoints(const ScanTable& table, const ScanAngles& angles, LengthUnit unit)
    : table_(table), unit_(unit), scale_(unit == LengthUnit::kMetres ? kMetresPerInch : 1.0),
      positions_(table.Rows()) {
    const std::size_t rows = table.Rows();
    std::size_t secondCount = 0;
    SideBySide(rows >= kRowsWorthAThread, [&] { count_ = Place(angles, 0, rows / 2); },
               [&] { secondCount = Place(angles, rows / 2, rows); });
    count_ += secondCount;
}

std::size_t ScanPoints::Place(const ScanAngles& angles, std::size_t begin, std::size_t end) {
    std::size_t count = 0;
    for (std::size_t row = begin; row < end; ++row) {
        if (!HasPoint(table_.distance[row])) continue;
        ++count;
        const double distance = table_.distance[row] * scale_;
        const Direction3 d = BeamDirection(angles.mirror[row], angles.slowAxis[row]);
        positions_[row] = Position{distance * d.x, distance * d.y, distance * d.z};
    }
    return count;
}

std::string_view ScanPoints::UnitName() const {
    return unit_ == LengthUnit::kMetres ? "metres" : "inches";
}

}  // namespace velscan::exporter
