#include "export/scan_points.hpp"

namespace velscan::exporter {
namespace {

constexpr double kMetresPerInch = 0.0254;

}  // namespace

ScanPoints::ScanPoints(const ScanTable& table, const ScanAngles& angles, LengthUnit unit)
    : table_(table), angles_(angles), unit_(unit),
      scale_(unit == LengthUnit::kMetres ? kMetresPerInch : 1.0) {
    for (const double d : table.distance) count_ += HasRange(d) ? 1 : 0;
}

std::string_view ScanPoints::UnitName() const {
    return unit_ == LengthUnit::kMetres ? "metres" : "inches";
}

}  // namespace velscan::exporter
