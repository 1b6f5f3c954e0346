// velscan-export on hostile tables, names and streams: numbers that once
// crashed or hung the pictures, summary lines longer than a fixed buffer,
// control bytes in messages, and a standard output that is closed or whose
// reader has gone.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "export/colour_map.hpp"
#include "export/export_format.hpp"
#include "export/picture_frame.hpp"
#include "export/range_picture.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"
#include "export/summary.hpp"
#include "export_fixture.hpp"
#include "program_run.hpp"
#include "table_text.hpp"

namespace velscan::exporter {
namespace {

namespace fs = std::filesystem;

// All distances 512.04 but one 512.05: the float cells lie a rounding step
// below the nearest distance (near 1e12, a float step is 65536 inches).
std::string TinySpanTable() {
    return PatchTable(400, [](std::size_t row) { return row == 3 ? "512.05" : "512.04"; });
}
std::string TrillionTable() {
    return PatchTable(400, [](std::size_t row) { return row == 3 ? "1000000000000.01" : "1000000000000.00"; });
}
// Near 2^57 a tick step of 10 inches is below the distances' precision.
std::string Near2To57Table() {
    return PatchTable(400, [](std::size_t row) {
        return row == 3 ? "144115188075855904.00" : "144115188075855872.00";
    });
}
// Row 5 (line 7) has a mirror angle of 1e308; less an offset of -1e308 it is
// infinite.
std::string HugeAngleTable() {
    std::string text = kTableHeader;
    for (std::size_t row = 0; row < 400; ++row)
        text.append("\n").append(TableRow("300.00", row == 5 ? std::string("1").append(308, '0').append(".0000")
                                                            : Fixed(static_cast<double>(row) * 0.0015, 4),
                                          Fixed(static_cast<double>(row / 40) * 0.0314, 4)));
    return text;
}

std::set<std::tuple<int, int, int>> PanoramaColours(const Image& image, const PanoramaLayout& layout) {
    const PictureFrame frame = PlanFrame(layout, PictureLegendHeight());
    std::set<std::tuple<int, int, int>> colours;
    for (int y = frame.panoramaTop; y < frame.panoramaTop + frame.panoramaHeight; ++y)
        for (int x = frame.panoramaLeft; x < frame.panoramaLeft + frame.panoramaWidth; ++x) {
            const std::uint8_t* p = const_cast<Image&>(image).At(x, y);
            colours.insert({p[0], p[1], p[2]});
        }
    return colours;
}

std::tuple<int, int, int> Entry(std::size_t index) {
    const Rgb c = DistanceColours()[index];
    return {c.r, c.g, c.b};
}

// --- the pictures -----------------------------------------------------------

TEST(HostileNumbers, DistancesInATinySpanTakeTheEndsOfTheColourMap) {
    for (const std::string& text : {TinySpanTable(), TrillionTable()}) {
        const ScanTable table = ParseTable(text, "t");
        const ScanAngles angles = ExportAngles(table, false, 0.0, 0.0);
        const PanoramaLayout layout = ChoosePanorama(table, angles);
        const Image image = RangePicture(table, angles, layout, "t");
        const auto colours = PanoramaColours(image, layout);
        const std::set<std::tuple<int, int, int>> allowed = {{0, 0, 0}, Entry(0), Entry(255)};
        EXPECT_TRUE(std::includes(allowed.begin(), allowed.end(), colours.begin(), colours.end()))
            << colours.size() << " colours in the panorama";
        // The far row shares its pixel with near ones; the nearest is shown.
        EXPECT_TRUE(colours.count(Entry(0)));
    }
}

TEST(HostileNumbers, DistancesNear2To57GiveAScaleWithATick) {
    const ScanTable table = ParseTable(Near2To57Table(), "t");
    const ScanAngles angles = ExportAngles(table, false, 0.0, 0.0);
    const PanoramaLayout layout = ChoosePanorama(table, angles);
    Image image = RangePicture(table, angles, layout, "t");  // once a hang
    // The tick marks sit just below the colour bar, in the text colour.
    const int legendTop = PlanFrame(layout, PictureLegendHeight()).legendTop;
    int tickPixels = 0;
    for (int y = legendTop + 24; y < legendTop + 30; ++y)
        for (int x = 0; x < image.width; ++x) tickPixels += image.At(x, y)[0] == 235;
    EXPECT_GT(tickPixels, 0);
}

TEST(HostileNumbers, AnglesWithoutAFiniteSpanStayInsideThePicture) {
    // Angles straight from a caller, not checked: one mirror angle not a
    // number, slow-axis angles whose span overflows.
    ScanTable table;
    ScanAngles angles;
    for (std::size_t row = 0; row < 300; ++row) {
        table.distance.push_back(100.0 + static_cast<double>(row));
        table.amplitude.push_back(std::numeric_limits<float>::max());
        table.temperature.push_back(70.0f);
        angles.mirror.push_back(row == 7 ? std::numeric_limits<double>::quiet_NaN() : 0.001 * row);
        angles.slowAxis.push_back(row % 2 ? 1e308 : -1e308);
    }
    const PanoramaLayout layout = ChoosePanorama(table, angles);
    EXPECT_GE(layout.width, 1);
    EXPECT_LE(layout.height, kMaxPictureSide);
    const Image range = RangePicture(table, angles, layout, "t");
    const Image amplitude = AmplitudePicture(table, angles, layout, "t");
    EXPECT_EQ(range.width, PlanFrame(layout, PictureLegendHeight()).width);
    EXPECT_GE(range.width, layout.width);
    // Sums of the largest amplitudes overflow to infinity: shown white, not 0.
    EXPECT_NE(std::find(amplitude.pixels.begin(), amplitude.pixels.end(), 255), amplitude.pixels.end());
}

// --- the table and its angles -----------------------------------------------

TEST(HostileNumbers, AnAngleThatIsNotFiniteAfterItsOffsetIsRefusedNamingItsLine) {
    const ScanTable table = ParseTable(HugeAngleTable(), "t");
    const ScanAngles angles = ExportAngles(table, true, -1e308, 0.0);
    try {
        RequireFiniteAngles(angles, "t");
        ADD_FAILURE() << "no error";
    } catch (const TableError& error) {
        EXPECT_EQ(std::string(error.what()), "t:7: the mirror angle less its offset is not a finite number");
    }
    EXPECT_NO_THROW(RequireFiniteAngles(ExportAngles(table, true, 0.0, 0.0), "t"));
}

TEST(HostileNumbers, AmplitudesBeyondSinglePrecisionAreRefusedDistancesOfEveryFiniteSizeAreRead) {
    const std::string huge = "1" + std::string(39, '0') + ".0";  // 1e39
    const std::string row = TableRow("300.00", "1.0000", "2.0000");
    const std::string table = std::string(kTableHeader) + "\n" + row + "\n";
    for (const auto& [bad, message] :
         {std::pair{TableRow("300.00", "1.0000", "2.0000", huge), "t:3: field 3 (Amplitude) is not a valid value"},
          std::pair{TableRow("inf", "1.0000", "2.0000"), "t:3: field 1 (Distance(inches)) is not a valid value"},
          std::pair{TableRow("-nan", "1.0000", "2.0000"), "t:3: field 1 (Distance(inches)) is not a valid value"}}) {
        try {
            ParseTable(table + bad, "t");
            ADD_FAILURE() << "no error for " << message;
        } catch (const TableError& error) {
            EXPECT_EQ(std::string(error.what()).rfind(message, 0), 0u) << error.what();
        }
    }
    // A distance may be any finite value the table writer prints with two
    // decimals, up to the largest double's 309 digits, and reads back exact.
    constexpr double kLargest = std::numeric_limits<double>::max();
    for (const double distance : {1e39, -6.98e68, kLargest, -kLargest}) {
        const ScanTable parsed = ParseTable(table + TableRow(Fixed(distance, 2), "1.0000", "2.0000"), "t");
        ASSERT_EQ(parsed.Rows(), 2u);
        EXPECT_EQ(parsed.distance[1], distance);
    }
}

// Rows 3 and 7 beyond a float's range, the others from 100 to 199.75 inches:
// no point for either, and on the range picture the colours of the farthest
// and the nearest distance a point holds.
std::string BeyondFloatTable(const std::string& far, const std::string& near) {
    return PatchTable(400, [&](std::size_t row) {
        return row == 3 ? far : row == 7 ? near : Fixed(100.0 + static_cast<double>(row) * 0.25, 2);
    });
}

TEST(HostileNumbers, DistancesBeyondAFloatHaveNoPointAndTakeTheEndsOfThePictureScale) {
    const ScanTable table = ParseTable(BeyondFloatTable(Fixed(1e39, 2), Fixed(-3e300, 2)), "t");
    const ScanAngles angles = ExportAngles(table, false, 0.0, 0.0);
    std::vector<std::string> warnings;
    const ExportJob job(table, angles, ExportSettings{}, "t", {}, {}, {},
                        [&](const std::string& warning) { warnings.push_back(warning); });

    EXPECT_EQ(job.Points().Count(), 398u);
    job.Points().ForEach([](const ScanPoint& p) {
        for (const double value : {p.x, p.y, p.z, p.distance})
            EXPECT_LE(std::fabs(value), 200.0);
    });
    const ScanGrid& grid = job.Grid();
    EXPECT_EQ(grid.RowsWithRange(), 398u);
    for (int x = 0; x < grid.Width(); ++x)
        for (int y = 0; y < grid.Height(); ++y) {
            EXPECT_NE(grid.RowAt(x, y), 3);
            EXPECT_NE(grid.RowAt(x, y), 7);
        }
    EXPECT_EQ(job.RowsBeyondPointRange(), 2u);
    // Said once, however many views ask.
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind("Warning: 2 rows have a distance beyond 3.4e38 inches", 0), 0u) << warnings[0];

    // The picture is the one of the same rows at the ends of the scale.
    const ScanTable ends = ParseTable(BeyondFloatTable("199.75", "100.00"), "t");
    const PanoramaLayout layout = ChoosePanorama(table, angles);
    const Image beyond = RangePicture(table, angles, layout, "t");
    const Image atTheEnds = RangePicture(ends, ExportAngles(ends, false, 0.0, 0.0), layout, "t");
    EXPECT_TRUE(beyond.pixels == atTheEnds.pixels);
    EXPECT_GT(PanoramaColours(beyond, layout).size(), 20u);  // a scale of its own, not one stretched flat
}

TEST(Summary, ALineLongerThanAnyFixedBufferIsKeptWithItsLineBreak) {
    // A distance of 3e38 prints with 39 digits before the point.
    const ScanTable table = ParseTable(
        PatchTable(10, [](std::size_t row) { return Fixed(3e38 + static_cast<double>(row) * 1e30, 2); }), "t");
    const std::string summary = Summary(table, ExportAngles(table, false, 0.0, 0.0));
    const std::size_t start = summary.find("distance (inches): ");
    ASSERT_NE(start, std::string::npos);
    const std::string line = summary.substr(start, summary.find('\n', start) - start);
    EXPECT_GT(line.size(), 160u);
    EXPECT_NE(line.find(", max " + Fixed(3e38 + 9e30, 2)), std::string::npos) << line;
    EXPECT_NE(summary.find(line + "\nmirror angle: "), std::string::npos);
}

// --- the program ------------------------------------------------------------

class ExportProgram : public ExportFolder {
protected:
    ExportProgram() : ExportFolder("export-program") {}
    e2e::ProgramResult Run(std::vector<std::string> arguments, bool closedStreams = false) {
        e2e::ProgramRun run{arguments, {}, std::nullopt, dir_.Path(), std::nullopt};
        run.closedStreams = closedStreams;
        return e2e::Execute(VELSCAN_EXPORT_BINARY, run);
    }
};

TEST_F(ExportProgram, HostileTablesGiveEveryOutputOrAnErrorNamingTheLineAndLeaveNoTemporaryFile) {
    const std::vector<std::string> outputs = {"--png", "r.png", "--amplitude-png", "a.png", "--ply", "p.ply",
                                              "--ptx", "g.ptx", "--pcd", "g.pcd"};
    for (const auto& [name, text] : {std::pair{"tiny", TinySpanTable()}, std::pair{"trillion", TrillionTable()},
                                     std::pair{"near2to57", Near2To57Table()}}) {
        SCOPED_TRACE(name);
        for (const auto& file : Files()) fs::remove(dir_.Path() / file);
        Write("t", text);
        std::vector<std::string> arguments{"t"};
        arguments.insert(arguments.end(), outputs.begin(), outputs.end());
        const e2e::ProgramResult result = Run(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(Files(), (std::vector<std::string>{"a.png", "g.pcd", "g.ptx", "p.ply", "r.png", "t"}));
    }
    for (const auto& file : Files()) fs::remove(dir_.Path() / file);
    Write("t", HugeAngleTable());
    std::vector<std::string> arguments{"t", "--raw-angles", "--mirror-offset", "-1e308"};
    arguments.insert(arguments.end(), outputs.begin(), outputs.end());
    const e2e::ProgramResult result = Run(arguments);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find("t:7: the mirror angle less its offset is not a finite number"), std::string::npos)
        << result.err;
    EXPECT_EQ(Files(), std::vector<std::string>{"t"});
}

// A lookup file whose far columns stand at 1e38 inches passes the loader
// (single precision holds it), and velscan, replaying a recorded capture
// through it, writes distances of about 70 digits: the export takes the
// table, leaves those rows out of the points, and says so.
TEST_F(ExportProgram, ATableFromALookupFileOf1e38InchesGivesEveryOutputWithItsFarRowsLeftOutAndSaid) {
    SimulatedTable(dir_.Path(), "recorded.txt", {"-l", "2"}, {{"VELSCAN_CAPTURE", "cap.bin"}});
    const std::string lookup = Read("LOOKUPHS");
    const std::size_t firstLineEnd = lookup.find('\n');
    std::istringstream columns(lookup.substr(0, firstLineEnd));
    std::string column, farColumns;
    for (int i = 0; columns >> column; ++i) farColumns += (i == 0 ? "" : " ") + (i >= 30 ? "1e38" : column);
    Write("LOOKUPHS", farColumns + lookup.substr(firstLineEnd));
    const e2e::ProgramResult replay = e2e::Execute(
        VELSCAN_BINARY, {{"t.txt", "-l", "2"},
                         {{"VELSCAN_SIM", ""}, {"VELSCAN_CARD", "replay:cap.bin"}, {"VELSCAN_CLOCK", "virtual"}},
                         std::nullopt, dir_.Path(), std::nullopt});
    ASSERT_EQ(replay.exitCode, 0) << replay.err;

    // The table's rows as a reader of its text counts them.
    std::istringstream table(Read("t.txt"));
    std::string line;
    std::getline(table, line);
    std::size_t rows = 0, beyond = 0, points = 0, longest = 0;
    while (std::getline(table, line)) {
        ++rows;
        const double distance = std::strtod(line.c_str(), nullptr);
        longest = std::max(longest, line.find('\t'));
        if (std::fabs(distance) > 3.4028234663852886e38) ++beyond;
        else if (distance != 0.0) ++points;
    }
    ASSERT_EQ(rows, 10000u);
    ASSERT_GT(beyond, 0u);
    ASSERT_GT(points, 0u);
    EXPECT_GT(longest, 60u);

    const e2e::ProgramResult result = Run({"t.txt", "--png", "r.png", "--amplitude-png", "a.png", "--ply", "p.ply",
                                           "--ptx", "g.ptx", "--pcd", "g.pcd", "--html", "v.html"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string report = std::to_string(beyond) +
                               " rows have a distance beyond 3.4e38 inches, more than a 32-bit float holds: left "
                               "out of the point formats (PLY, PTX, PCD) and the viewer, shown at an end of the "
                               "range picture's scale";
    const std::string warning = "velscan-export: Warning: " + report + "\n";
    const std::size_t said = result.err.find(warning);
    EXPECT_NE(said, std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(warning, said + 1), std::string::npos) << "said more than once: " << result.err;
    EXPECT_NE(result.out.find("points (rows with range): " + std::to_string(points + beyond) + "\n"),
              std::string::npos) << result.out;

    // The PLY: a vertex per row a float holds, the others named in its header;
    // its size is the header and 44 bytes a vertex (with the times).
    const std::string ply = Read("p.ply");
    const std::size_t headerEnd = ply.find("end_header\n") + 11;
    EXPECT_NE(ply.find("comment " + report + "\n"), std::string::npos);
    EXPECT_NE(ply.find("element vertex " + std::to_string(points) + "\n"), std::string::npos);
    EXPECT_EQ(ply.size(), headerEnd + points * 44);
    EXPECT_NE(Read("g.pcd").find("\n# " + report + "\n"), std::string::npos);
    const std::string ptx = Read("g.ptx");
    EXPECT_EQ(ptx.find("inf"), std::string::npos);
    EXPECT_EQ(ptx.find("nan"), std::string::npos);
    const std::string html = Read("v.html");
    EXPECT_NE(html.find("\"count\": " + std::to_string(points) + ","), std::string::npos);
    EXPECT_NE(html.find(report), std::string::npos);
}

TEST_F(ExportProgram, ControlBytesFromTheTableAndTheCommandLineAreShownEscaped) {
    const std::string name = "t\x1b]0;owned\x07";
    Write(name, std::string(kTableHeader) + "\n" + TableRow("30\x1b[2J", "1.0", "2.0"));
    const e2e::ProgramResult table = Run({name, "--ply", "p.ply"});
    EXPECT_EQ(table.exitCode, 3);
    EXPECT_EQ(table.err.find('\x1b'), std::string::npos) << table.err;
    EXPECT_NE(table.err.find("t\\x1b]0;owned\\x07:2: field 1"), std::string::npos) << table.err;
    EXPECT_NE(table.err.find("'30\\x1b[2J'"), std::string::npos) << table.err;

    const e2e::ProgramResult option = Run({name, "--\x1b[31mred"});
    EXPECT_EQ(option.exitCode, 2);
    EXPECT_NE(option.err.find("unknown option --\\x1b[31mred\n"), std::string::npos) << option.err;
    EXPECT_EQ(option.err.find('\x1b'), std::string::npos);
}

TEST_F(ExportProgram, AClosedStandardOutputExits4AfterEveryOutputIsInPlace) {
    Write("t", TinySpanTable());
    // The shell closes descriptor 1 before it becomes velscan-export.
    const e2e::ProgramResult result =
        e2e::Execute("/bin/sh", {{"-c", "exec \"$0\" t --ply p.ply --png r.png >&-", VELSCAN_EXPORT_BINARY},
                                 {}, std::nullopt, dir_.Path(), std::nullopt});
    EXPECT_EQ(result.exitCode, 4) << result.err;
    EXPECT_NE(result.err.find("standard output is closed; the summary was not written"), std::string::npos)
        << result.err;
    EXPECT_EQ(Files(), (std::vector<std::string>{"p.ply", "r.png", "t"}));
    // The point cloud is whole: no console text went into it.
    EXPECT_EQ(e2e::ReadFile(dir_.Path() / "p.ply").rfind("ply\n", 0), 0u);
}

TEST_F(ExportProgram, AReaderOfStandardOutputThatHasGoneGivesExit4NotASignal) {
    Write("t", TinySpanTable());
    const e2e::ProgramResult result = Run({"t", "--ply", "p.ply"}, true);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_EQ(Files(), (std::vector<std::string>{"p.ply", "t"}));
}

}  // namespace
}  // namespace velscan::exporter
