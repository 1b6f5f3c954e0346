// The metadata files of a run, read back with Python's json and checked
// against the files they describe; a run that writes no table writes no
// table metadata; a forced end leaves no unfinished metadata file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "velscan_fixture.hpp"

namespace velscan::e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

class MetadataTest : public VelscanFixture {
protected:
    // Runs the checker on one metadata file of the last run in the working folder.
    ProgramResult Check(const std::string& json, const std::string& describes,
                        const std::string& lost, int exitCode, int lines = 5) {
        ProgramRun run;
        run.arguments = {VELSCAN_METADATA_CHECKER, json, describes, "scan.txt", "cap.bin",
                         std::to_string(lines), lost, std::to_string(exitCode)};
        run.workingDirectory = Work();
        return Execute("/usr/bin/python3", run);
    }
};

TEST_F(MetadataTest, BothFilesReadBackWithTheValuesOfTheRun) {
    const ProgramResult result = Velscan(
        {"scan.txt", "-l", "5"},
        {{"VELSCAN_CAPTURE", "cap.bin"}, {"VELSCAN_SIM_FAULTS", "overflow@3"}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (const char* describes : {"table", "capture"}) {
        const std::string json = describes == std::string("table") ? "scan.txt.json" : "cap.bin.json";
        const ProgramResult check = Check(json, describes, "3", 0);
        EXPECT_EQ(check.exitCode, 0) << json << ":\n" << check.out << check.err;
    }
    // The same document, but for what it describes; the lines' figures are
    // the table's alone.
    std::string table = ReadFile(Work() / "scan.txt.json");
    const std::string capture = ReadFile(Work() / "cap.bin.json");
    const auto figures = table.find("  \"lineFigures\": [");
    const auto afterFigures = table.find("  \"table\": {");
    ASSERT_TRUE(figures != std::string::npos && afterFigures != std::string::npos && figures < afterFigures);
    table.erase(figures, afterFigures - figures);
    const auto at = table.find("\"describes\": \"table\"");
    ASSERT_NE(at, std::string::npos);
    table.replace(at, 20, "\"describes\": \"capture\"");
    EXPECT_EQ(table, capture);
}

// A hall whose far end is beyond the range finder's reach: the lines across
// it have rows without range.
constexpr const char* kHallScene = "box -100 -100 -60 2000 100 120 0.6\n";

TEST_F(MetadataTest, NumpyRecomputesEveryLinesFiguresFromTheTable) {
    { std::ofstream(Work() / "hall.scene") << kHallScene; }
    const ProgramResult result = Velscan({"scan.txt", "-l", "12"}, {{"VELSCAN_CAPTURE", "cap.bin"},
                                                                   {"VELSCAN_SIM_FAULTS", "overflow@3"},
                                                                   {"VELSCAN_SIM_SCENE", "hall.scene"}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto checkFigures = [this](const std::string& table) {
        ProgramRun run;
        run.arguments = {VELSCAN_LINE_FIGURES_CHECKER, table, table + ".json"};
        run.workingDirectory = Work();
        return Execute("/usr/bin/python3", run);
    };
    const ProgramResult check = checkFigures("scan.txt");
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    // The run has what the check is for: a line that lost samples, lines
    // short of full range.
    const std::string metadata = ReadFile(Work() / "scan.txt.json");
    EXPECT_NE(metadata.find("\"lostSamples\": true"), std::string::npos);
    EXPECT_NE(metadata.find("\"withRange\": 0."), std::string::npos);

    // velscan-reconvert's table has the same figures, by the same check.
    ProgramRun reconvert;
    reconvert.arguments = {"cap.bin", "again.txt"};
    reconvert.workingDirectory = Work();
    ASSERT_EQ(Execute(VELSCAN_RECONVERT_BINARY, reconvert).exitCode, 0);
    const ProgramResult again = checkFigures("again.txt");
    EXPECT_EQ(again.exitCode, 0) << again.out << again.err;

    // A median moved by one hundredth is seen.
    ProgramRun change;
    change.arguments = {"-c",
                        "import json; d = json.load(open('scan.txt.json')); "
                        "d['lineFigures'][5]['distanceMedian'] += 0.01; json.dump(d, open('scan.txt.json', 'w'))"};
    change.workingDirectory = Work();
    ASSERT_EQ(Execute("/usr/bin/python3", change).exitCode, 0);
    const ProgramResult changed = checkFigures("scan.txt");
    EXPECT_EQ(changed.exitCode, 1);
    EXPECT_NE(changed.out.find("line 5 distanceMedian"), std::string::npos) << changed.out;
}

TEST_F(MetadataTest, TheCheckerSeesAWrongValue) {
    ASSERT_EQ(Velscan({"scan.txt", "-l", "5"}, {{"VELSCAN_CAPTURE", "cap.bin"}}).exitCode, 0);
    // No line lost samples: asking for line 3 must fail, as must a changed table.
    EXPECT_EQ(Check("scan.txt.json", "table", "-", 0).exitCode, 0);
    EXPECT_EQ(Check("scan.txt.json", "table", "3", 0).exitCode, 1);
    { std::ofstream(Work() / "scan.txt", std::ios::app) << "\n0.00\t"; }
    const ProgramResult changed = Check("scan.txt.json", "table", "-", 0);
    EXPECT_EQ(changed.exitCode, 1);
    EXPECT_NE(changed.out.find("table:"), std::string::npos) << changed.out;
}

TEST_F(MetadataTest, AFailedRunWritesNoTableMetadataAndKeepsAnEarlierOne) {
    { std::ofstream(Work() / "scan.txt") << "previous scan"; }
    { std::ofstream(Work() / "scan.txt.json") << "previous metadata"; }
    const ProgramResult result = Velscan({"scan.txt", "-l", "2"},
                                         {{"VELSCAN_CAPTURE", "cap.bin"},
                                          {"VELSCAN_SIM_FAULTS", "calibration-silent"}});
    EXPECT_EQ(result.exitCode, 3) << result.err;
    EXPECT_EQ(Table(), "previous scan");
    EXPECT_EQ(ReadFile(Work() / "scan.txt.json"), "previous metadata");
    EXPECT_THAT(OtherFiles(), ElementsAre("cap.bin", "cap.bin.json", "scan.txt", "scan.txt.json"));
    // The capture's metadata says how the run ended, and that no table came of it.
    const std::string capture = ReadFile(Work() / "cap.bin.json");
    EXPECT_NE(capture.find("\"table\": null"), std::string::npos) << capture;
    EXPECT_NE(capture.find("\"how\": \"failure\",\n    \"message\": \"Error: Could not get "
                           "calibration value\",\n    \"exitCode\": 3"),
              std::string::npos)
        << capture;
    EXPECT_NE(capture.find("\"value\": null"), std::string::npos) << capture;
}

// The capture's metadata file cannot be written (a link to a full device):
// the operator is told before sampling starts, the scan is saved all the
// same, and the table's metadata records the failure and the exit code the
// program ends with.
TEST_F(MetadataTest, ACaptureMetadataFileThatCannotBeWrittenFailsTheRunButKeepsTheScan) {
    fs::create_symlink("/dev/full", Work() / "cap.bin.json");
    const ProgramResult result = Velscan({"scan.txt", "-l", "2"}, {{"VELSCAN_CAPTURE", "cap.bin"}});
    EXPECT_EQ(result.exitCode, 3) << result.err;
    EXPECT_NE(result.err.find("for mirror to move\nError: Can't write the file cap.bin.json\nClear Sample Buffer\n"),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(result.err.ends_with("Saving Data,Please Waiting\nSaved 2 lines to scan.txt\n")) << result.err;
    EXPECT_EQ(Rows(Table()), 2u * 5000);
    const std::string table = ReadFile(Work() / "scan.txt.json");
    EXPECT_NE(table.find("\"how\": \"failure\",\n    \"message\": \"Error: Can't write the file "
                         "cap.bin.json\",\n    \"exitCode\": 3"),
              std::string::npos)
        << table;
}

TEST_F(MetadataTest, NoCardMeansNoTableAndNoTableMetadata) {
    const ProgramResult result = Velscan({"scan.txt", "-l", "2"}, {{"VELSCAN_SIM_FAULTS", "no-card"}});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_THAT(OtherFiles(), ::testing::IsEmpty());
}

TEST_F(MetadataTest, AForcedEndLeavesNoUnfinishedMetadataBehind) {
    { std::ofstream(Work() / "scan.txt.json") << "previous metadata"; }
    const auto program = Start({"scan.txt"}, {{"VELSCAN_CLOCK", "real"},
                                              {"VELSCAN_CAPTURE", "cap.bin"}});
    ASSERT_TRUE(program->WaitForError("Waiting (20 sec.) for mirror to move\n"));
    program->SignalTogether({SIGINT, SIGTERM});
    const ProgramResult result = program->Wait();
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(ReadFile(Work() / "scan.txt.json"), "previous metadata");
    // The capture stays as far as it came; no unfinished file of either set.
    EXPECT_THAT(OtherFiles(), ElementsAre("cap.bin", "scan.txt.json"));
}

TEST_F(MetadataTest, ATableThatFailsToBeWrittenReplacesNeitherFile) {
    { std::ofstream(Work() / "scan.txt") << "previous scan"; }
    { std::ofstream(Work() / "scan.txt.json") << "previous metadata"; }
    // Writes beyond 100 kB fail: the table's, long before its end.
    const ProgramResult result = Velscan({"scan.txt", "-l", "2"}, {}, std::nullopt, 100000);
    EXPECT_EQ(result.exitCode, 3) << result.err;
    EXPECT_EQ(Table(), "previous scan");
    EXPECT_EQ(ReadFile(Work() / "scan.txt.json"), "previous metadata");
    // The capture is no table: it holds what the limit let through, with its
    // metadata file as it was put in place before sampling.
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt", "scan.txt.capture", "scan.txt.capture.json", "scan.txt.json"));
}

TEST_F(MetadataTest, AMetadataFileOverTheSizeLimitIsNamedAndReplacesNeitherFile) {
    { std::ofstream(Work() / "scan.txt") << "previous scan"; }
    // The header-only table fits under 1 KiB; its metadata file does not
    // (nor the capture's, which is left out here: this is the table's).
    const ProgramResult result = Velscan({"scan.txt", "-l", "0"}, {{"VELSCAN_CAPTURE", "off"}}, std::nullopt, 1024);
    EXPECT_EQ(result.exitCode, 3) << result.err;
    EXPECT_EQ(Table(), "previous scan");
    // The finished table, the only copy of the scan, is kept and named.
    const std::vector<std::string> left = OtherFiles();
    ASSERT_EQ(left.size(), 2u) << result.err;
    EXPECT_TRUE(result.err.ends_with("Saving Data,Please Waiting\n"
                                     "Error: Can't write the file scan.txt.json: File too large; "
                                     "the table is kept in " + left[0] + "\n"))
        << result.err;
}

TEST_F(MetadataTest, AMetadataFileThatCannotBeCreatedStopsTheRunBeforeTheHardware) {
    { std::ofstream(Work() / "scan.txt") << "previous scan"; }
    fs::create_directory(Work() / "scan.txt.json");
    const ProgramResult result = Velscan({"scan.txt", "-l", "2"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "Error: Can't create the file scan.txt.json\n");
    EXPECT_FALSE(Trace().serialOpened);
    EXPECT_FALSE(Trace().cardOpened);
    EXPECT_EQ(Table(), "previous scan");
    EXPECT_TRUE(fs::is_directory(Work() / "scan.txt.json"));
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt", "scan.txt.json"));
}

}  // namespace
}  // namespace velscan::e2e
