#pragma once
// A format velscan-export writes: its option, the extension of its files,
// its lines in the usage text and its writer. The writer gets the stream to
// write into and the job: the table, its angles, the settings and the views
// shared between formats (the points, the pictures' layout, the grid).
//
// Adding a format is one file that defines its ExportFormat and one entry in
// export_formats.cpp.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/range_picture.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_grid.hpp"
#include "export/scan_points.hpp"
#include "export/scan_pose.hpp"
#include "export/scan_table.hpp"
#include "export/summary.hpp"
#include "scanfile/line_figures.hpp"
#include "scanfile/scan_metadata.hpp"

namespace velscan::exporter {

// The time of every point, from the scan's metadata file: the row's place in
// the table (line * samples per line + sample, every sample of every recorded
// line counted) times the sample period, from the start; lines that lost
// samples are marked, since their times after the loss are not exact.
struct PointTimes {
    std::string start;              // UTC, ISO 8601, as the metadata file holds it
    double periodMicroseconds = 0;  // -s
    std::vector<long long> linesWithLostSamples;

    double SecondsOf(std::size_t row) const { return static_cast<double>(row) * periodMicroseconds * 1e-6; }
    bool Lost(std::int32_t line) const {
        return std::find(linesWithLostSamples.begin(), linesWithLostSamples.end(), line) !=
               linesWithLostSamples.end();
    }
};

struct ExportSettings {
    bool ascii = false;                      // text rather than binary, where a format has both
    LengthUnit unit = LengthUnit::kInches;   // of the point formats
    // What the scan is placed with and where each value came from
    // (export/export_setup.hpp), for the summary and the viewer's panel;
    // empty when nothing was given.
    std::vector<SummaryLine> applied;
};

// What is known of the table beyond its rows, for the formats that carry it
// (E57, npz): the SHA-256 of its bytes, and its metadata file's facts and
// text when it has a sound one.
struct TableRecord {
    std::string sha256;  // lower-case hex; empty when the table was not read from a file
    std::optional<ScanFacts> metadata;
    std::string metadataText;  // the metadata file's bytes, as read
};

// Where a job's warnings go: one line each, without the program's name.
using WarningSink = std::function<void(const std::string&)>;
// Standard error, after the program's name.
void WarnOnStandardError(const std::string& warning);

class ExportJob {
public:
    // `source` names the table in the outputs (its file name);
    // `pictureDetails`, the facts of its metadata file for the pictures'
    // titles, empty without one; `pose`, the scan's pose, which every format
    // that carries one writes.
    // `lineFigures`: the figures of the table's lines, from its metadata
    // file, for the summary and the viewer's chart; none without them.
    // `record`: the table's digest and metadata.
    ExportJob(const ScanTable& table, const ScanAngles& angles, const ExportSettings& settings,
              std::string source, std::string pictureDetails = {}, std::optional<PointTimes> times = {},
              ScanPose pose = {}, WarningSink warn = WarnOnStandardError,
              std::vector<LineFigures> lineFigures = {}, TableRecord record = {});

    const ScanTable& Table() const { return table_; }
    const ScanAngles& Angles() const { return angles_; }
    const ExportSettings& Settings() const { return settings_; }
    const std::string& Source() const { return source_; }
    const std::string& PictureDetails() const { return pictureDetails_; }
    // The points' times, when the metadata file gives the start and period.
    const std::optional<PointTimes>& Times() const { return times_; }
    const ScanPose& Pose() const { return pose_; }
    const std::vector<LineFigures>& Figures() const { return lineFigures_; }
    const TableRecord& Record() const { return record_; }
    // The SHA-256 of the table's bytes, or, for a table made in memory, of
    // its columns; computed on first use then.
    const std::string& TableDigest() const;
    // The points, their positions computed on first use, once for every format.
    const ScanPoints& Points() const;
    // Rows with a distance no point holds (export/scan_angles.hpp), counted on
    // first use, by every format that shows distances; they are reported
    // then, once, to the job's warnings.
    std::size_t RowsBeyondPointRange() const;
    // The pictures' layout, chosen on first use.
    const PanoramaLayout& Panorama() const;
    // The grid of the gridded point formats, built on first use; rows it
    // leaves out are reported then, once, to the job's warnings.
    const ScanGrid& Grid() const;

private:
    const ScanTable& table_;
    const ScanAngles& angles_;
    ExportSettings settings_;
    std::string source_;
    std::string pictureDetails_;
    std::optional<PointTimes> times_;
    ScanPose pose_;
    WarningSink warn_;
    std::vector<LineFigures> lineFigures_;
    TableRecord record_;
    mutable std::optional<std::string> columnsDigest_;
    mutable std::optional<ScanPoints> points_;
    mutable std::optional<PanoramaLayout> panorama_;
    mutable std::optional<ScanGrid> grid_;
    mutable std::optional<std::size_t> rowsBeyondPointRange_;
};

struct ExportFormat {
    std::string_view option;     // "--ply"; takes the output's path
    std::string_view extension;  // of the format's files, with its dot
    std::string_view help;       // its lines of the usage text, each ending in a line break
    // Writes the whole output into `out`; throws StreamFailure, or
    // OutputError when this build cannot write the format.
    void (*write)(std::FILE* out, const ExportJob& job);
};

// Every format, in the order of the usage text; outputs are written in this
// order too.
std::span<const ExportFormat* const> ExportFormats();

// The format of an option such as "--png", or null.
const ExportFormat* FormatOfOption(std::string_view option);

}  // namespace velscan::exporter
