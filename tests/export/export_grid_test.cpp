// The scan's grid and its two formats: the layout shared with the pictures,
// the cell each row lands in, and the headers and bodies of PTX and PCD.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "conversion/beam_geometry.hpp"
#include "export/export_format.hpp"
#include "export/scan_grid.hpp"

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

}  // namespace
}  // namespace velscan::exporter
