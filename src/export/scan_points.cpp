#include "export/scan_points.hpp"

namespace velscan::exporter {
namespace {

constexpr double kMetresPerInch = 0.0254;

}  // namespace

ScanPoints::ScanPoints(const ScanTable& table, const ScanAngles& angles, LengthUnit unit)
    : table_(table), unit_(unit), scale_(unit == LengthUnit::kMetres ? kMetresPerInch : 1.0),
      positions_(table.Rows()) {
    for (std::size_t row = 0; row < table.Rows(); ++row) {
        if (!HasPoint(table.distance[row])) continue;
        ++count_;
        const double distance = table.distance[row] * scale_;
        const Direction3 d = BeamDirection(angles.mirror[row], angles.slowAxis[row]);
        positions_[row] = Position{distance * d.x, distance * d.y, distance * d.z};
    }
}

std::string_view ScanPoints::UnitName() const {
    return unit_ == LengthUnit::kMetres ? "metres" : "inches";
}

}  // namespace velscan::exporter
