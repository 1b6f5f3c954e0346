#include <utility>

#include "export/export_format.hpp"

namespace velscan::exporter {

ExportJob::ExportJob(const ScanTable& table, const ScanAngles& angles, const ExportSettings& settings,
                     std::string source, std::string pictureDetails, std::optional<PointTimes> times)
    : table_(table), angles_(angles), settings_(settings), source_(std::move(source)),
      pictureDetails_(std::move(pictureDetails)), times_(std::move(times)),
      points_(table, angles, settings.unit) {}

const PanoramaLayout& ExportJob::Panorama() const {
    if (!panorama_) panorama_ = ChoosePanorama(table_, angles_);
    return *panorama_;
}

const ScanGrid& ExportJob::Grid() const {
    if (!grid_) grid_.emplace(table_, angles_);
    return *grid_;
}

}  // namespace velscan::exporter
