// velscan-export on files that are not velscan tables, and on the forms a
// velscan table may take: a clear "file:line: what" error and exit code 3,
// and no output created or changed.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "export_fixture.hpp"
#include "program_run.hpp"

namespace velscan::exporter {
namespace {

namespace fs = std::filesystem;

const std::string kHeader =
    "Distance(inches)\tRaw Range(bits)\tAmplitude\tTemp(F)\tAngle1(radins)\tAngle2(radins\t"
    "Index1\tIndex2\t";
const std::string kRow = "308.49\t2207\t79.0\t69.8\t2324.7801\t2.8903\t0\t0\t";
const std::string kNoRangeRow = "0.00\t0\t3.0\t69.8\t2324.7832\t2.8903\t1\t0\t";

class ExportInput : public ExportFolder {
protected:
    ExportInput() : ExportFolder("export-input") {}
    e2e::ProgramResult Export(const std::string& table, std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments{table, "--ply", "out.ply", "--png", "out.png"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return e2e::Execute(VELSCAN_EXPORT_BINARY, {arguments, {}, std::nullopt, dir_.Path(), std::nullopt});
    }
};

TEST_F(ExportInput, NotAVelscanTableFailsNamingFileAndLineAndCreatesNothing) {
    struct Case {
        const char* what;
        std::string bytes;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"empty file", "", "t:1: empty file"},
        {"wrong header", "Distance\tRaw\n" + kRow, "t:1: not a velscan table"},
        {"7 fields", kHeader + "\n" + kRow + "\n308.49\t2207\t79.0\t69.8\t2324.7801\t2.8903\t0\t",
         "t:3: 7 fields, expected 8"},
        {"bad number", kHeader + "\n" + kRow + "\r\n" + kRow + "\r\n308.4x\t2207\t79.0\t69.8\t1\t2\t0\t0\t",
         "t:4: field 1 (Distance(inches)) is not a valid value: '308.4x'"},
        {"index not 0 or 1", kHeader + "\n308.49\t2207\t79.0\t69.8\t1.0\t2.0\t2\t0\t",
         "t:2: field 7 (Index1) is not a valid value"},
        {"a directory", "", "t:1: is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir_.Path() / "t");
        if (std::string(c.what) == "a directory") fs::create_directory(dir_.Path() / "t");
        else Write("t", c.bytes);
        const e2e::ProgramResult result = Export("t");
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(Files(), std::vector<std::string>{"t"});
    }
}

TEST_F(ExportInput, AFailedRunLeavesExistingOutputsAsTheyWere) {
    Write("out.ply", "old cloud");
    Write("t", kHeader + "\n" + kRow);
    Write("bad", kHeader + "\n" + kRow + "\nnot a row");
    const e2e::ProgramResult result = Export("bad");
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(e2e::ReadFile(dir_.Path() / "out.ply"), "old cloud");
    EXPECT_EQ(Files(), (std::vector<std::string>{"bad", "out.ply", "t"}));
}

TEST_F(ExportInput, VelscanTablesInEveryFormAreRead) {
    // LF or CR LF, with or without a line end after the last row, no rows at all.
    for (const std::string& table :
         {kHeader, kHeader + "\r\n", kHeader + "\n" + kRow + "\n" + kNoRangeRow,
          kHeader + "\r\n" + kRow + "\r\n" + kNoRangeRow + "\r\n"}) {
        Write("t", table);
        const e2e::ProgramResult result = Export("t");
        EXPECT_EQ(result.exitCode, 0) << result.err;
        const bool rows = table.size() > kHeader.size() + 2;
        EXPECT_NE(result.out.find(rows ? "rows read: 2\n" : "rows read: 0\n"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find(rows ? "rows without range: 1\n" : "rows without range: 0\n"),
                  std::string::npos);
    }
}

TEST_F(ExportInput, UsageErrorsPrintTheUsageAndExit2) {
    Write("t", kHeader);
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{}, {"t", "--ply"}, {"t", "--frobnicate"},
                                               {"t", "t2"}, {"t", "--slow-offset", "x"},
                                               {"t", "--ply", "t"}, {"t", "--png", "a", "--ply", "a"}}) {
        const e2e::ProgramResult result =
            e2e::Execute(VELSCAN_EXPORT_BINARY, {arguments, {}, std::nullopt, dir_.Path(), std::nullopt});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find("usage: velscan-export <table> [--png PATH] [--amplitude-png PATH] "
                                  "[--ply PATH] [--ptx PATH] [--pcd PATH] [--e57 PATH] [--npz PATH] [--html PATH] [options]"),
                  std::string::npos);
    }
    EXPECT_EQ(e2e::ReadFile(dir_.Path() / "t"), kHeader);
    EXPECT_EQ(Files(), std::vector<std::string>{"t"});
}

TEST_F(ExportInput, VersionIsOneLineOnStandardOutputAndWritesNothing) {
    Write("t", kHeader);
    const e2e::ProgramResult result =
        e2e::Execute(VELSCAN_EXPORT_BINARY, {{"t", "--version", "--ply", "t.ply"}, {}, std::nullopt, dir_.Path(), std::nullopt});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(std::regex_match(result.out, std::regex("velscan-export [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << result.out;
    EXPECT_EQ(Files(), std::vector<std::string>{"t"});
}

}  // namespace
}  // namespace velscan::exporter
