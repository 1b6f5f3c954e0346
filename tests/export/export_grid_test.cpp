// The scan's grid and its two formats: the layout shared with the pictures,
// the cell each row lands in, the headers and bodies of PTX and PCD, the one
// list of fields PLY and PCD declare, the scan's pose, and the grids of short
// and full simulated scans.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "conversion/beam_geometry.hpp"
#include "export/export_format.hpp"
#include "export/scan_grid.hpp"
#include "export_fixture.hpp"
#include "program_run.hpp"

namespace velscan::exporter {
namespace {

struct Scan {
    ScanTable table;
    ScanAngles angles;
};

// `turns` mirror turns of `perTurn` samples at an even step, the slow axis
// moving evenly across them; distance(row) gives each row's distance.
template <typename Distance>
Scan EvenScan(int turns, int perTurn, Distance distance) {
    Scan scan;
    const double step = kFullTurn / perTurn;
    for (int row = 0; row < turns * perTurn; ++row) {
        scan.table.distance.push_back(distance(row));
        scan.table.amplitude.push_back(static_cast<float>(row % 256));
        scan.table.temperature.push_back(70.0f);
        scan.angles.mirror.push_back((row + 0.5) * step);
        scan.angles.slowAxis.push_back(0.001 * row);
    }
    return scan;
}

std::string Written(const char* option, const ExportJob& job) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    if (!file) throw std::runtime_error("no temporary file");
    FormatOfOption(option)->write(file.get(), job);
    std::fflush(file.get());
    std::string bytes(static_cast<std::size_t>(std::ftell(file.get())), '\0');
    std::rewind(file.get());
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) throw std::runtime_error("short read");
    return bytes;
}

// --- the grid ---------------------------------------------------------------

TEST(ScanGrid, AColumnPerTurnAndARowPerSampleOfATurnSoEveryRowHasItsOwnCell) {
    const Scan scan = EvenScan(6, 500, [](int) { return 100.0; });
    const ScanGrid grid(scan.table, scan.angles);
    EXPECT_EQ(grid.Width(), 6);
    EXPECT_EQ(grid.Height(), 500);
    EXPECT_EQ(grid.Cells(), 3000u);
    // Row r is sample r % 500 of turn r / 500: column of its turn, row of its bin.
    int misplaced = 0;
    for (int row = 0; row < 3000; ++row) misplaced += grid.RowAt(row / 500, row % 500) != row;
    EXPECT_EQ(misplaced, 0);
}

TEST(ScanGrid, ACellShowsItsNearestRowAndCountsTheRowsItLeavesOut) {
    // Eight rows at four mirror angles, each angle twice (a mirror that went
    // back), the slow axis still: rows r and r + 4 share a cell.
    Scan scan = EvenScan(2, 4, [](int row) { return row == 1 ? 0.0 : 100.0 - row; });
    for (std::size_t row = 4; row < 8; ++row) scan.angles.mirror[row] = scan.angles.mirror[row - 4];
    for (double& slow : scan.angles.slowAxis) slow = 0.5;
    const ScanGrid grid(scan.table, scan.angles);
    ASSERT_EQ(grid.Width(), 1);
    std::vector<std::int32_t> shown;
    for (int y = 0; y < grid.Height(); ++y)
        if (grid.RowAt(0, y) != ScanGrid::kNoReturn) shown.push_back(grid.RowAt(0, y));
    // 96 is nearer than 100; row 1 had no range, so row 5 keeps its cell.
    EXPECT_EQ(shown, (std::vector<std::int32_t>{4, 5, 6, 7}));
    EXPECT_EQ(grid.RowsWithRange(), 7u);
    EXPECT_EQ(grid.LeftOut(), 3u);
    EXPECT_EQ(grid.LeftOutReport().substr(0, 62), "3 of 7 rows with range are left out of the scan's grid (PTX, P");

    for (double& d : scan.table.distance) d = 0.0;
    const ScanGrid empty(scan.table, scan.angles);
    for (int y = 0; y < empty.Height(); ++y) EXPECT_EQ(empty.RowAt(0, y), ScanGrid::kNoReturn);
    EXPECT_EQ(empty.LeftOut(), 0u);
}

TEST(ScanGrid, LessThanATurnGetsBinsAsFineAsItsStepAndATinySpanStaysBounded) {
    // A quarter turn in 250 samples: a whole turn at that step holds 1000.
    Scan scan;
    for (int row = 0; row < 250; ++row) {
        scan.table.distance.push_back(50.0);
        scan.table.amplitude.push_back(1.0f);
        scan.table.temperature.push_back(70.0f);
        scan.angles.mirror.push_back((row + 0.5) * kFullTurn / 1000.0);
        scan.angles.slowAxis.push_back(0.0);
    }
    const ScanGrid quarter(scan.table, scan.angles);
    EXPECT_EQ(quarter.Width(), 1);
    EXPECT_EQ(quarter.Height(), 1000);
    int shown = 0;
    for (int y = 0; y < 1000; ++y) shown += quarter.RowAt(0, y) != ScanGrid::kNoReturn;
    EXPECT_EQ(shown, 250);

    for (std::size_t row = 0; row < scan.angles.mirror.size(); ++row) scan.angles.mirror[row] = 1.0 + 1e-15 * row;
    const ScanGrid tiny(scan.table, scan.angles);
    EXPECT_EQ(tiny.Height(), static_cast<int>(kMaxRows));
    for (double& angle : scan.angles.mirror) angle = 1.0;
    EXPECT_EQ(ScanGrid(scan.table, scan.angles).Height(), 1);
}

TEST(ScanGrid, ThePicturesKeepTheirOwnLayoutWithTheSameColumns) {
    const Scan scan = EvenScan(6, 500, [](int) { return 100.0; });
    const PanoramaLayout picture = ChoosePanorama(scan.table, scan.angles);
    EXPECT_EQ(picture.width, 6);
    EXPECT_GE(picture.height, 64);
    EXPECT_LE(picture.height, 500);
    const ScanTable none;
    EXPECT_EQ(ScanGrid(none, ScanAngles{}).Cells(), 1u);
}

// --- PTX ----------------------------------------------------------------------

TEST(PtxFormat, TenHeaderLinesThenOneLineACellColumnAfterColumn) {
    // Two turns of three samples; row 4 (turn 1, sample 1) has no range.
    const Scan scan = EvenScan(2, 3, [](int row) { return row == 4 ? 0.0 : 100.0; });
    const ExportJob job(scan.table, scan.angles, {}, "t");
    const std::string text = Written("--ptx", job);
    const std::string header = "2\n3\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n";
    ASSERT_EQ(text.substr(0, header.size()), header);

    std::istringstream cells(text.substr(header.size()));
    std::vector<std::vector<double>> lines;
    for (std::string line; std::getline(cells, line);) {
        std::istringstream words(line);
        std::vector<double> values;
        for (double v; words >> v;) values.push_back(v);
        ASSERT_EQ(values.size(), 4u) << line;
        lines.push_back(values);
    }
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4], (std::vector<double>{0, 0, 0, 0}));  // column 1, row 1
    // Column 0 holds turn 0 in order; intensity is amplitude / 255.
    for (int row = 0; row < 3; ++row) {
        const ScanPoint p = job.Points().At(static_cast<std::size_t>(row));
        EXPECT_NEAR(lines[static_cast<std::size_t>(row)][0], p.x, 1e-4);
        EXPECT_NEAR(lines[static_cast<std::size_t>(row)][2], p.z, 1e-4);
        EXPECT_NEAR(lines[static_cast<std::size_t>(row)][3], row / 255.0, 1e-6);
    }
    EXPECT_NEAR(lines[5][3], 5 / 255.0, 1e-6);
}

TEST(PtxFormat, IntensityStaysWithinZeroToOne) {
    Scan scan = EvenScan(1, 3, [](int) { return 10.0; });
    scan.table.amplitude = {-5.0f, 1000.0f, std::nanf("")};
    const std::string text = Written("--ptx", ExportJob(scan.table, scan.angles, {}, "t"));
    std::istringstream lines(text);
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);) all.push_back(line);
    ASSERT_EQ(all.size(), 13u);
    for (int i = 10; i < 13; ++i) {
        const double intensity = std::stod(all[static_cast<std::size_t>(i)].substr(all[static_cast<std::size_t>(i)].rfind(' ') + 1));
        EXPECT_GE(intensity, 0.0) << all[static_cast<std::size_t>(i)];
        EXPECT_LE(intensity, 1.0) << all[static_cast<std::size_t>(i)];
    }
}

// --- PCD ----------------------------------------------------------------------

TEST(PcdFormat, AnOrganisedBinaryCloudOfTheGridWithNaNWithoutReturn) {
    const Scan scan = EvenScan(2, 3, [](int row) { return row == 4 ? 0.0 : 100.0 + row; });
    const ExportJob job(scan.table, scan.angles, {}, "room.txt");
    const std::string bytes = Written("--pcd", job);
    const std::string header =
        "# .PCD v0.7 - velscan-export of room.txt; units: inches; x forward, y left, z up\n"
        "VERSION 0.7\n"
        "FIELDS x y z scalar_distance intensity scalar_temperature scalar_line scalar_sample\n"
        "SIZE 4 4 4 4 4 4 4 4\nTYPE F F F F F F I I\nCOUNT 1 1 1 1 1 1 1 1\n"
        "WIDTH 2\nHEIGHT 3\nVIEWPOINT 0 0 0 1 0 0 0\nPOINTS 6\nDATA binary\n";
    ASSERT_EQ(bytes.substr(0, header.size()), header);
    ASSERT_EQ(bytes.size(), header.size() + 6u * 32u);

    // Row after row: point y * 2 + x is column x (turn), row y (sample).
    auto field = [&](int point, int index) {
        float value;
        std::memcpy(&value, bytes.data() + header.size() + static_cast<std::size_t>(point) * 32 + index * 4, 4);
        return value;
    };
    auto line = [&](int point) {
        std::int32_t value[2];
        std::memcpy(value, bytes.data() + header.size() + static_cast<std::size_t>(point) * 32 + 24, 8);
        return value[1];  // the sample
    };
    EXPECT_FLOAT_EQ(field(0, 3), 100.0f);  // row 0
    EXPECT_FLOAT_EQ(field(1, 3), 103.0f);  // row 3: turn 1, sample 0
    EXPECT_FLOAT_EQ(field(5, 3), 105.0f);  // row 5
    EXPECT_EQ(line(5), 5);
    for (int index = 0; index < 6; ++index) EXPECT_TRUE(std::isnan(field(3, index))) << index;  // row 4
    EXPECT_EQ(line(3), -1);
}

TEST(PcdFormat, TextHasTheSameHeaderWithAsciiDataAndNanCells) {
    const Scan scan = EvenScan(2, 3, [](int row) { return row == 4 ? 0.0 : 100.0; });
    ExportSettings settings;
    settings.ascii = true;
    settings.unit = LengthUnit::kMetres;
    const std::string text = Written("--pcd", ExportJob(scan.table, scan.angles, settings, "a\nDATA binary"));
    std::istringstream lines(text);
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);) all.push_back(line);
    ASSERT_EQ(all.size(), 11u + 6u);
    // A line break in the table's name stays inside the comment.
    EXPECT_EQ(all[0], "# .PCD v0.7 - velscan-export of a?DATA binary; units: metres; x forward, y left, z up");
    EXPECT_EQ(all[10], "DATA ascii");
    EXPECT_EQ(all[11 + 3], "nan nan nan nan nan nan -1 -1");
    EXPECT_EQ(all[11].substr(all[11].size() - 4), " 0 0");  // line 0, sample 0
    EXPECT_NE(all[11].find(" 2.54 "), std::string::npos) << all[11];  // 100 in in metres
}

// --- one list of fields for PLY and PCD, the pose ---------------------------

// The lines of a header up to `last` (included).
std::vector<std::string> HeaderLines(const std::string& bytes, const std::string& last) {
    std::istringstream text(bytes.substr(0, bytes.find(last) + last.size()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream text(line);
    std::vector<std::string> words;
    for (std::string word; text >> word;) words.push_back(word);
    return words;
}

TEST(PointFields, PlyAndPcdDeclareTheSameFieldsAndTheirRecordsHaveTheDeclaredSize) {
    const Scan scan = EvenScan(2, 3, [](int row) { return row == 4 ? 0.0 : 100.0; });
    for (const bool withTimes : {false, true}) {
        SCOPED_TRACE(withTimes);
        std::optional<PointTimes> times;
        if (withTimes) times = PointTimes{"2026-01-01T00:00:00Z", 20.0, {1}};
        const ExportJob job(scan.table, scan.angles, {}, "t", {}, times);

        const std::string ply = Written("--ply", job);
        std::vector<std::string> plyNames;
        std::size_t plyBytes = 0;
        for (const std::string& line : HeaderLines(ply, "end_header\n")) {
            const std::vector<std::string> words = Words(line);
            if (words.size() != 3 || words[0] != "property") continue;
            plyNames.push_back(words[2]);
            plyBytes += words[1] == "double" ? 8 : 4;
        }
        const std::size_t plyBody = ply.size() - (ply.find("end_header\n") + 11);
        EXPECT_EQ(plyBody, plyBytes * 5) << "five points with range";

        const std::string pcd = Written("--pcd", job);
        std::map<std::string, std::vector<std::string>> pcdHeader;
        for (const std::string& line : HeaderLines(pcd, "DATA binary\n")) {
            std::vector<std::string> words = Words(line);
            if (words.empty() || words[0] == "#") continue;
            const std::string key = words[0];
            words.erase(words.begin());
            pcdHeader[key] = words;
        }
        EXPECT_EQ(pcdHeader["FIELDS"], plyNames);
        std::size_t pcdBytes = 0;
        for (std::size_t i = 0; i < plyNames.size(); ++i) {
            pcdBytes += std::stoul(pcdHeader["SIZE"].at(i));
            EXPECT_EQ(pcdHeader["TYPE"].at(i), plyNames[i] == "scalar_line" || plyNames[i] == "scalar_sample" ||
                                                       plyNames[i] == "scalar_lost"
                                                   ? "I"
                                                   : "F")
                << plyNames[i];
        }
        EXPECT_EQ(pcdBytes, plyBytes);
        EXPECT_EQ(pcd.size() - (pcd.find("DATA binary\n") + 12), pcdBytes * 6) << "six cells";
        EXPECT_EQ(plyNames.size(), withTimes ? 10u : 8u);
    }
}

TEST(ScanPose, TheIdentityIsWrittenAsBeforeAndAnotherPoseReachesEveryFormatThatCarriesOne) {
    const Scan scan = EvenScan(2, 3, [](int) { return 100.0; });
    const ExportJob still(scan.table, scan.angles, {}, "t");
    EXPECT_EQ(HeaderLines(Written("--pcd", still), "DATA binary\n")[8], "VIEWPOINT 0 0 0 1 0 0 0");
    EXPECT_EQ(Written("--ply", still).find("scan pose"), std::string::npos);

    // The scanner 2 in. ahead, 3 left, 1.5 up, turned a quarter turn about z
    // (x onto y): its axes are y, -x and z.
    ScanPose pose;
    pose.position = {2.0, 3.0, 1.5};
    pose.orientation = {std::sqrt(0.5), 0.0, 0.0, std::sqrt(0.5)};
    const ExportJob turned(scan.table, scan.angles, {}, "t", {}, {}, pose);
    std::istringstream text(Written("--ptx", turned));
    std::vector<std::string> ptx;
    for (std::string line; ptx.size() < 10 && std::getline(text, line);) ptx.push_back(line);
    ASSERT_EQ(ptx.size(), 10u);
    EXPECT_EQ(ptx[2], "2 3 1.5");
    auto numbers = [](const std::string& line) {
        std::vector<double> values;
        for (const std::string& word : Words(line)) values.push_back(std::stod(word));
        return values;
    };
    const std::vector<std::vector<double>> axes{{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::vector<double> axis = numbers(ptx[3 + i]), row = numbers(ptx[6 + i]);
        ASSERT_EQ(axis.size(), 3u);
        ASSERT_EQ(row.size(), 4u);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_NEAR(axis[k], axes[i][k], 1e-12) << ptx[3 + i];
            EXPECT_EQ(row[k], axis[k]);
        }
        EXPECT_EQ(row[3], 0.0);
    }
    EXPECT_EQ(ptx[9], "2 3 1.5 1");
    const std::vector<std::string> viewpoint = Words(HeaderLines(Written("--pcd", turned), "DATA binary\n")[8]);
    ASSERT_EQ(viewpoint.size(), 8u);
    EXPECT_EQ(viewpoint[0], "VIEWPOINT");
    EXPECT_EQ(std::vector<std::string>(viewpoint.begin() + 1, viewpoint.begin() + 4),
              (std::vector<std::string>{"2", "3", "1.5"}));
    EXPECT_NEAR(std::stod(viewpoint[4]), std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(std::stod(viewpoint[7]), std::sqrt(0.5), 1e-15);
    EXPECT_NE(Written("--ply", turned).find("comment scan pose (the points stay in the scanner's frame): in the "
                                            "site the scanner at 2 3 1.5, "),
              std::string::npos);
}

// --- short and full simulated scans -----------------------------------------

class SimulatedGrid : public ExportFolder {
protected:
    SimulatedGrid() : ExportFolder("export-grid") {}
};

// The cells with a return of a binary PCD without time fields (32 bytes a
// cell, the line at byte 24), and the header's comment lines.
std::size_t PcdReturns(const std::string& pcd, std::string& comments) {
    const std::size_t data = pcd.find("DATA binary\n") + 12;
    for (const std::string& line : HeaderLines(pcd, "DATA binary\n"))
        if (line.rfind("# ", 0) == 0) comments += line + "\n";
    std::size_t returns = 0;
    for (std::size_t cell = data; cell + 32 <= pcd.size(); cell += 32) {
        std::int32_t line;
        std::memcpy(&line, pcd.data() + cell + 24, 4);
        returns += line != -1;
    }
    return returns;
}

// Every row with a range has its own cell in PTX and PCD, or the export says
// how many rows the grid left out, on standard error and in the PCD header.
TEST_F(SimulatedGrid, EveryRowWithRangeHasItsCellOrTheRowsLeftOutAreCountedWhereTheOperatorSeesThem) {
    for (const int lines : {1, 2, 3, 200}) {
        SCOPED_TRACE(std::to_string(lines) + " lines");
        const std::string table = SimulatedTable(dir_.Path(), "scan.txt", {"-l", std::to_string(lines)}, {});
        const e2e::ProgramResult result = e2e::Execute(
            VELSCAN_EXPORT_BINARY,
            {{table, "--ptx", "g.ptx", "--pcd", "g.pcd"}, {}, std::nullopt, dir_.Path(), std::nullopt});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const std::size_t rows = static_cast<std::size_t>(lines) * kSamplesPerLine;
        ASSERT_NE(result.out.find("points (rows with range): " + std::to_string(rows) + "\n"), std::string::npos)
            << result.out;

        std::istringstream ptx(Read("g.ptx"));
        std::size_t ptxReturns = 0, lineCount = 0;
        for (std::string line; std::getline(ptx, line);) ptxReturns += ++lineCount > 10 && line != "0 0 0 0";
        std::string comments;
        const std::size_t pcdReturns = PcdReturns(Read("g.pcd"), comments);
        EXPECT_EQ(pcdReturns, ptxReturns);
        if (lines < 200) {
            EXPECT_EQ(ptxReturns, rows);
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(comments.find("left out"), std::string::npos) << comments;
        } else {
            // The full scan keeps its grid; the rows it leaves out are counted.
            const std::string report = std::to_string(rows - ptxReturns) + " of " + std::to_string(rows) +
                                       " rows with range are left out of the scan's grid";
            EXPECT_LT(ptxReturns, rows);
            EXPECT_NE(result.err.find("velscan-export: Warning: " + report), std::string::npos) << result.err;
            EXPECT_NE(comments.find("# " + report), std::string::npos) << comments;
        }
    }
}

}  // namespace
}  // namespace velscan::exporter
