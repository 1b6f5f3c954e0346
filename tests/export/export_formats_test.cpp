// The table of formats, the one function that writes a run's outputs, and
// the view of the points that every point format writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "conversion/beam_geometry.hpp"
#include "export/export_format.hpp"
#include "export/export_options.hpp"
#include "export/export_outputs.hpp"
#include "export/scan_points.hpp"
#include "export/stream_failure.hpp"
#include "export/write_outputs.hpp"
#include "program_run.hpp"
#include "table_text.hpp"

namespace velscan::exporter {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

struct ParsedScan {
    ScanTable table;
    ScanAngles angles;
};

ParsedScan Parse(const std::string& text) {
    ParsedScan scan{ParseTable(text, "t"), {}};
    scan.angles = ExportAngles(scan.table, false, 0.0, 0.0);
    return scan;
}

// --- the table of formats -------------------------------------------------

TEST(FormatTable, EveryEntryHasItsOwnOptionExtensionUsageLinesAndWriter) {
    std::set<std::string> options;
    for (const ExportFormat* format : ExportFormats()) {
        const std::string option(format->option);
        SCOPED_TRACE(option);
        EXPECT_TRUE(options.insert(option).second) << "two formats share an option";
        EXPECT_EQ(option.rfind("--", 0), 0u);
        EXPECT_EQ(format->extension.front(), '.');
        // The usage lines start with the option and its argument, and end a line.
        EXPECT_EQ(std::string(format->help).rfind("  " + option + " PATH", 0), 0u) << format->help;
        EXPECT_EQ(format->help.back(), '\n');
        EXPECT_NE(format->write, nullptr);
        EXPECT_EQ(FormatOfOption(option), format);
    }
    EXPECT_EQ(FormatOfOption("--ascii"), nullptr);
}

TEST(FormatTable, UsageTextListsTheFormatsInTheirOrderThenTheOtherOptions) {
    EXPECT_EQ(UsageText(),
              "usage: velscan-export <table> [--png PATH] [--amplitude-png PATH] [--ply PATH] [--ptx PATH] "
              "[--pcd PATH] [--e57 PATH] [--npz PATH] [--html PATH] [options]\n"
              "  --png PATH            range picture: slow-axis angle across, mirror angle down,\n"
              "                        colour by distance (scale in inches), black without range\n"
              "  --amplitude-png PATH  the same panorama in grey levels of amplitude\n"
              "  --ply PATH            point cloud, binary little-endian PLY\n"
              "  --ptx PATH            the scan's grid as PTX text (0 0 0 0 without return)\n"
              "  --pcd PATH            the scan's grid as an organised PCD cloud, binary\n"
              "                        (NaN without return)\n"
              "  --e57 PATH            the scan as one structured E57 scan: metres, the grid's\n"
              "                        rows and columns, cells without return marked invalid\n"
              "  --npz PATH            numpy arrays: each row's fields, the grid's and the\n"
              "                        metadata, in one .npz\n"
              "  --html PATH           viewer: one HTML file that shows the points in 3D in a web\n"
              "                        browser, offline, coloured by distance or amplitude\n"
              "  --ascii               write the PLY and the PCD as text\n"
              "  --metres              point coordinates and distance in metres (default inches)\n"
              "  --raw-angles          use the table's angles as they stand (no recovery\n"
              "                        between encoder steps)\n"
              "  --mirror-offset RAD   mirror angle of the horizontal beam (default: the\n"
              "                        profile's, else 0)\n"
              "  --slow-offset RAD     slow-axis angle of the x axis (default: the profile's,\n"
              "                        else 0)\n"
              "  --profile PATH        the instrument profile to take the offsets from\n"
              "                        (default: the one the table's metadata file records)\n"
              "  --pose X,Y,Z,HEADING  the scan's pose in the site: metres and degrees about z,\n"
              "                        or 16 numbers, a 4x4 matrix row by row (default: the\n"
              "                        one the table's metadata file records)\n"
              "  --help                this text\n"
              "  --version             the program's version\n"
              "With no output option, the range picture and the viewer are written beside the\n"
              "table, named as the table with .png and .html for its extension.\n");
}

TEST(FormatTable, OutputsComeInTheTableOrderAndAFormatAskedTwiceKeepsTheLaterPath) {
    const ParsedCommandLine parsed = ParseExportCommandLine(
        {"t", "--ply", "a.ply", "--amplitude-png", "b.png", "--png", "c.png", "--ply", "d.ply", "--metres"});
    ASSERT_TRUE(std::holds_alternative<ExportOptions>(parsed));
    const auto& options = std::get<ExportOptions>(parsed);
    ASSERT_EQ(options.outputs.size(), 3u);
    EXPECT_EQ(options.outputs[0].format, FormatOfOption("--png"));
    EXPECT_EQ(options.outputs[0].path, "c.png");
    EXPECT_EQ(options.outputs[1].format, FormatOfOption("--amplitude-png"));
    EXPECT_EQ(options.outputs[2].format, FormatOfOption("--ply"));
    EXPECT_EQ(options.outputs[2].path, "d.ply");
    EXPECT_EQ(options.settings.unit, LengthUnit::kMetres);
    EXPECT_FALSE(options.settings.ascii);
}

TEST(FormatTable, EveryFormatWritesATableWithRowsAndOneWithNone) {
    for (const std::string& text : {PatchTable(400, [](std::size_t row) { return row % 7 ? "300.25" : "0.00"; }),
                                    std::string(kTableHeader)}) {
        const ParsedScan scan = Parse(text);
        const ExportJob job(scan.table, scan.angles, {}, "t");
        e2e::ScratchDirectory directory("export-formats");
        std::vector<RequestedOutput> outputs;
        std::vector<std::string> expected;
        for (const ExportFormat* format : ExportFormats()) {
            const std::string name = "out" + std::to_string(outputs.size()) + std::string(format->extension);
            outputs.push_back({format, (directory.Path() / name).string()});
            expected.push_back(name);
        }
        WriteOutputs(outputs, job);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Names(directory.Path()), expected);  // no temporary file left
        for (const RequestedOutput& output : outputs)
            EXPECT_GT(fs::file_size(output.path), 32u) << output.format->option;
    }
}

// --- writing the outputs of a run ------------------------------------------

void FailingWriter(std::FILE*, const ExportJob&) { throw StreamFailure("the encoder gave up"); }
const ExportFormat kFailingFormat{"--failing", ".fail", "  --failing PATH  fails\n", FailingWriter};

TEST(WriteOutputs, AWriterThatFailsNamesItsOutputAndReplacesNothing) {
    e2e::ScratchDirectory directory("export-write");
    Write(directory.Path() / "old.ply", "OLD");
    const ParsedScan scan = Parse(PatchTable(100, [](std::size_t) { return "300.25"; }));
    const ExportJob job(scan.table, scan.angles, {}, "t");
    const std::vector<RequestedOutput> outputs = {
        {FormatOfOption("--ply"), (directory.Path() / "old.ply").string()},
        {&kFailingFormat, (directory.Path() / "new.fail").string()}};
    try {
        WriteOutputs(outputs, job);
        ADD_FAILURE() << "no error";
    } catch (const OutputError& error) {
        EXPECT_NE(std::string(error.what()).find("new.fail failed: the encoder gave up"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(e2e::ReadFile(directory.Path() / "old.ply"), "OLD");
    EXPECT_EQ(Names(directory.Path()), std::vector<std::string>{"old.ply"});
}

TEST(WriteOutputs, AFullDeviceFailsBeforeAnEarlierOutputReplacesItsTarget) {
    e2e::ScratchDirectory directory("export-full");
    Write(directory.Path() / "old.ply", "OLD");
    const ParsedScan scan = Parse(PatchTable(100, [](std::size_t) { return "300.25"; }));
    const ExportJob job(scan.table, scan.angles, {}, "t");
    const std::vector<RequestedOutput> outputs = {
        {FormatOfOption("--ply"), (directory.Path() / "old.ply").string()},
        {FormatOfOption("--amplitude-png"), "/dev/full"}};
    EXPECT_THROW(WriteOutputs(outputs, job), OutputError);
    EXPECT_EQ(e2e::ReadFile(directory.Path() / "old.ply"), "OLD");
    EXPECT_EQ(Names(directory.Path()), std::vector<std::string>{"old.ply"});
}

// --- the view of the points -------------------------------------------------

ParsedScan TwoLines() {
    // 5004 rows: the last four are in the second line; every third row has no range.
    ParsedScan scan;
    for (std::size_t row = 0; row < kSamplesPerLine + 4; ++row) {
        scan.table.distance.push_back(row % 3 == 1 ? 0.0 : 100.0 + static_cast<double>(row));
        scan.table.amplitude.push_back(static_cast<float>(row % 200));
        scan.table.temperature.push_back(70.5f);
        scan.angles.mirror.push_back(kFullTurn / 4.0);  // straight up
        scan.angles.slowAxis.push_back(0.25);
    }
    return scan;
}

TEST(ScanPoints, RowsWithoutRangeAreLeftOutAndLineAndSampleFollowTheRow) {
    const ParsedScan scan = TwoLines();
    const ScanPoints points(scan.table, scan.angles, LengthUnit::kInches);
    std::vector<ScanPoint> seen;
    points.ForEach([&](const ScanPoint& point) { seen.push_back(point); });
    EXPECT_EQ(points.Count(), seen.size());
    EXPECT_EQ(seen.size(), 3336u);  // rows 0..5003 less those with row % 3 == 1
    const ScanPoint& last = seen.back();  // row 5003
    EXPECT_EQ(last.line, 1);
    EXPECT_EQ(last.sample, 3);
    EXPECT_DOUBLE_EQ(last.distance, 5103.0);
    EXPECT_FLOAT_EQ(last.amplitude, 5003 % 200);
    EXPECT_EQ(seen[1].sample, 2);  // row 1 had no range
    EXPECT_EQ(points.UnitName(), "inches");
}

TEST(ScanPoints, MetresScaleTheDistanceAndThePositionAlongTheBeam) {
    const ParsedScan scan = TwoLines();
    const ScanPoints points(scan.table, scan.angles, LengthUnit::kMetres);
    std::vector<ScanPoint> seen;
    points.ForEach([&](const ScanPoint& point) { seen.push_back(point); });
    ASSERT_FALSE(seen.empty());
    EXPECT_DOUBLE_EQ(seen[0].distance, 100.0 * 0.0254);
    EXPECT_NEAR(seen[0].z, 2.54, 1e-12);  // the beam points straight up
    EXPECT_NEAR(seen[0].x, 0.0, 1e-12);
    EXPECT_EQ(points.UnitName(), "metres");
}

TEST(ScanPoints, ThePlyHoldsEveryPointOfTheViewInItsOrder) {
    const ParsedScan scan = TwoLines();
    ExportSettings settings;
    settings.unit = LengthUnit::kMetres;
    const ExportJob job(scan.table, scan.angles, settings, "two-lines.txt");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(file);
    FormatOfOption("--ply")->write(file.get(), job);
    std::fflush(file.get());
    std::string bytes(static_cast<std::size_t>(std::ftell(file.get())), '\0');
    std::rewind(file.get());
    ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), file.get()), bytes.size());

    const std::size_t end = bytes.find("end_header\n");
    ASSERT_NE(end, std::string::npos);
    // The names of the fields are those point-cloud tools load as scalar fields.
    EXPECT_EQ(bytes.substr(0, end),
              "ply\nformat binary_little_endian 1.0\n"
              "comment velscan-export of two-lines.txt\n"
              "comment units: metres; x forward, y left, z up; scanner at the origin\n"
              "element vertex 3336\n"
              "property float x\nproperty float y\nproperty float z\n"
              "property float scalar_distance\nproperty float intensity\nproperty float scalar_temperature\n"
              "property int scalar_line\nproperty int scalar_sample\n");
    const char* vertices = bytes.data() + end + std::strlen("end_header\n");
    ASSERT_EQ(bytes.size() - (end + std::strlen("end_header\n")), 3336u * 32u);

    std::size_t index = 0;
    job.Points().ForEach([&](const ScanPoint& point) {
        float fields[6];
        std::int32_t place[2];
        std::memcpy(fields, vertices + index * 32, sizeof fields);
        std::memcpy(place, vertices + index * 32 + 24, sizeof place);
        if (fields[2] != static_cast<float>(point.z) || fields[3] != static_cast<float>(point.distance) ||
            fields[4] != point.amplitude || place[0] != point.line || place[1] != point.sample)
            ADD_FAILURE() << "vertex " << index << " differs from its point";
        ++index;
    });
    EXPECT_EQ(index, 3336u);
}

}  // namespace
}  // namespace velscan::exporter
