#include <cstdio>
#include <utility>

#include "export/export_format.hpp"
#include "export/side_by_side.hpp"
#include "platform/digest/sha256.hpp"

namespace velscan::exporter {

void WarnOnStandardError(const std::string& warning) {
    std::fprintf(stderr, "velscan-export: %s\n", warning.c_str());
}

ExportJob::ExportJob(const ScanTable& table, const ScanAngles& angles, const ExportSettings& settings,
                     std::string source, std::string pictureDetails, std::optional<PointTimes> times,
                     ScanPose pose, WarningSink warn, std::vector<LineFigures> lineFigures,
                     TableRecord record)
    : table_(table), angles_(angles), settings_(settings), source_(std::move(source)),
      pictureDetails_(std::move(pictureDetails)), times_(std::move(times)), pose_(pose),
      warn_(std::move(warn)), lineFigures_(std::move(lineFigures)), record_(std::move(record)) {}

const std::string& ExportJob::TableDigest() const {
    if (!record_.sha256.empty()) return record_.sha256;
    if (!columnsDigest_) {
        std::string columns;
        const auto add = [&columns](const auto& column) {
            columns.append(reinterpret_cast<const char*>(column.data()), column.size() * sizeof column[0]);
        };
        add(table_.distance);
        add(table_.amplitude);
        add(table_.temperature);
        add(table_.angle1);
        add(table_.angle2);
        columnsDigest_ = platform::Sha256Hex(std::as_bytes(std::span(columns.data(), columns.size())));
    }
    return *columnsDigest_;
}

std::size_t ExportJob::RowsBeyondPointRange() const {
    if (!rowsBeyondPointRange_) {
        rowsBeyondPointRange_ = exporter::RowsBeyondPointRange(table_);
        if (*rowsBeyondPointRange_ > 0 && warn_) warn_("Warning: " + BeyondPointRangeReport(*rowsBeyondPointRange_));
    }
    return *rowsBeyondPointRange_;
}

const ScanPoints& ExportJob::Points() const {
    RowsBeyondPointRange();
    if (!points_) points_.emplace(table_, angles_, settings_.unit);
    return *points_;
}

const PanoramaLayout& ExportJob::Panorama() const {
    if (!panorama_) panorama_ = ChoosePanorama(table_, angles_);
    return *panorama_;
}

const ScanGrid& ExportJob::Grid() const {
    RowsBeyondPointRange();
    if (!grid_) {
        // Every format that writes the grid writes the points too: they are
        // placed meanwhile.
        SideBySide(table_.Rows() >= kRowsWorthAThread, [this] { grid_.emplace(table_, angles_); },
                   [this] {
                       if (!points_) points_.emplace(table_, angles_, settings_.unit);
                   });
        if (grid_->LeftOut() > 0 && warn_) warn_("Warning: " + grid_->LeftOutReport());
    }
    return *grid_;
}

}  // namespace velscan::exporter
