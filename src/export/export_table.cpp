#include "export/export_table.hpp"

#include <optional>
#include <string>
#include <utility>
#include <vector>


#include "export/export_setup.hpp"
#include "export/scan_metadata.hpp"
#include "export/scan_pose.hpp"
#include "export/write_outputs.hpp"
#include "platform/files/path_name.hpp"
#include "scanfile/file_names.hpp"

namespace velscan::exporter {

namespace {

// The points' times, when the metadata gives both the start and the period.
std::optional<PointTimes> TimesOfPoints(const ScanFacts& metadata) {
    const std::optional<std::int32_t> period = metadata.settings ? metadata.settings->samplePeriod : std::nullopt;
    if (!metadata.startTime || !period || *period <= 0) return std::nullopt;
    return PointTimes{*metadata.startTime, static_cast<double>(*period),
                      {metadata.linesWithLostSamples.begin(), metadata.linesWithLostSamples.end()}};
}

}  // namespace

ExportedTable ExportTable(const ExportOptions& options, const WarningSink& warnOfMetadata,
                          const WarningSink& warnOfOutputs) {
    const auto Warn = [&warnOfMetadata](const std::string& warning) {
        if (!warning.empty() && warnOfMetadata) warnOfMetadata(warning);
    };
    const std::optional<InstrumentProfile> namedProfile = NamedProfile(options);
    ExportedTable exported;
    std::string tableSha256;
    exported.table = ReadTable(options.table, &tableSha256);
    // The metadata file beside the table, when there is a sound one; a
    // changed table is still exported, with a warning.
    const TableMetadata metadata = ReadMetadataBeside(options.table);
    Warn(metadata.warning);
    if (metadata.metadata) Warn(StaleTableWarning(options.table, tableSha256, *metadata.metadata));
    // The offsets and the pose: typed, else the profile's and the recorded pose.
    const ExportSetup setup = ChooseSetup(options, namedProfile, metadata.metadata ? &*metadata.metadata : nullptr,
                                          MetadataFileName(options.table), warnOfOutputs);
    exported.angles = ExportAngles(exported.table, options.rawAngles, setup.mirror.radians, setup.slow.radians);
    RequireFiniteAngles(exported.angles, options.table);
    exported.settings = options.settings;
    exported.settings.applied = SetupLines(setup);
    // The metadata's bytes as they were read, for the formats that carry it whole.
    TableRecord record{tableSha256, metadata.metadata, metadata.text};
    const ExportJob job(exported.table, exported.angles, exported.settings,
                        files::NameOf(files::PathOf(options.table).filename()),
                        metadata.metadata ? MetadataTitle(*metadata.metadata) : std::string(),
                        metadata.metadata ? TimesOfPoints(*metadata.metadata) : std::nullopt,
                        setup.pose ? PoseInUnit(*setup.pose, exported.settings.unit) : ScanPose{}, warnOfOutputs,
                        metadata.metadata
                            ? LineFiguresOfTable(*metadata.metadata, exported.table.Rows(), tableSha256)
                            : std::vector<LineFigures>{},
                        std::move(record));
    WriteOutputs(options.outputs, job);
    exported.figures = job.Figures();
    return exported;
}

}  // namespace velscan::exporter
