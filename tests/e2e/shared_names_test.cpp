// The files a run writes must differ from each other and from the files it
// reads, compared as files: a refused start is exit code 2 and creates nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "velscan_fixture.hpp"

namespace velscan::e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

using SharedNamesTest = VelscanFixture;

TEST_F(SharedNamesTest, ACaptureOrTraceOnTheTableOrTheLookupFileIsRefusedBeforeAnythingIsCreated) {
    { std::ofstream(Work() / "scan.txt") << "previous scan"; }
    const std::string lookup = ReadFile(Work() / "LOOKUPHS");
    fs::create_directory(Work() / "dir");
    fs::create_symlink("LOOKUPHS", Work() / "calibration");

    const std::vector<std::map<std::string, std::string>> refused{
        {{"VELSCAN_CAPTURE", "./scan.txt"}, {"VELSCAN_SIM_FAULTS", "no-card"}},
        {{"VELSCAN_CAPTURE", "dir/../scan.txt"}},
        {{"VELSCAN_TRACE", "calibration"}},  // a link to the lookup file
        {{"VELSCAN_CAPTURE", "LOOKUPHS"}},
        // Neither exists yet: compared by where they would be created.
        {{"VELSCAN_CAPTURE", "dir/../raw.bin"}, {"VELSCAN_TRACE", "raw.bin"}},
    };
    for (const auto& environment : refused) {
        const ProgramResult result = Velscan({"scan.txt", "-l", "1"}, environment);
        EXPECT_EQ(result.exitCode, 2) << result.err;
        EXPECT_THAT(result.err, HasSubstr("are the same file"));
        EXPECT_EQ(Rows(result.err), 1u);
    }
    const ProgramResult lookupAsOutput = Velscan({"./LOOKUPHS", "-l", "1"});
    EXPECT_EQ(lookupAsOutput.exitCode, 2);
    EXPECT_EQ(lookupAsOutput.err,
              "Error: the output file ./LOOKUPHS and the lookup file LOOKUPHS are the same "
              "file; the run would overwrite it.\n");

    EXPECT_EQ(Table(), "previous scan");
    EXPECT_EQ(ReadFile(Work() / "LOOKUPHS"), lookup);
    EXPECT_THAT(OtherFiles(), ElementsAre("calibration", "dir", "scan.txt"));
}

TEST_F(SharedNamesTest, AMetadataFileOnAnotherFileOfTheRunIsRefusedBeforeAnythingIsCreated) {
    { std::ofstream(Work() / "scan.txt") << "previous scan"; }
    { std::ofstream(Work() / "room.scene") << "previous scene"; }
    { std::ofstream(Work() / "cap.bin") << "previous capture"; }
    const std::string lookup = ReadFile(Work() / "LOOKUPHS");
    fs::create_symlink("LOOKUPHS", Work() / "t.txt.json");
    fs::create_symlink("cap.bin", Work() / "scan.txt.json");  // the table's metadata is the capture

    struct Case {
        std::vector<std::string> arguments;
        std::map<std::string, std::string> environment;
        std::string error;
    };
    const std::vector<Case> refused{
        // The table's metadata file would be the lookup file (through a link).
        {{"t.txt"}, {}, ""},
        {{"scan.txt"}, {{"VELSCAN_CAPTURE", "cap.bin"}},
         "Error: VELSCAN_CAPTURE=cap.bin and the metadata file scan.txt.json are the same file; "
         "the run would overwrite it.\n"},
        {{"room.scene"}, {{"VELSCAN_SIM_SCENE", "room.scene.json"}}, ""},
        // The capture's metadata file: the trace, the table, the replayed file, the table's.
        {{"a.txt"}, {{"VELSCAN_CAPTURE", "raw"}, {"VELSCAN_TRACE", "raw.json"}},
         "Error: VELSCAN_TRACE=raw.json and the metadata file raw.json are the same file; the run "
         "would overwrite it.\n"},
        {{"raw.json"}, {{"VELSCAN_CAPTURE", "raw"}}, ""},
        {{"b.txt"}, {{"VELSCAN_CAPTURE", "scan.txt"}, {"VELSCAN_SIM", ""},
                     {"VELSCAN_CARD", "replay:scan.txt.json"}}, ""},
        {{"c"}, {{"VELSCAN_CAPTURE", "c.bin"}}, ""},  // not refused: different names
    };
    for (std::size_t i = 0; i + 1 < refused.size(); ++i) {
        const Case& refusal = refused[i];
        std::vector<std::string> arguments = refusal.arguments;
        arguments.insert(arguments.end(), {"-l", "1"});
        const ProgramResult result = Velscan(arguments, refusal.environment);
        SCOPED_TRACE(refusal.arguments.front());
        EXPECT_EQ(result.exitCode, 2) << result.err;
        EXPECT_THAT(result.err, HasSubstr("are the same file"));
        if (!refusal.error.empty()) {
            EXPECT_EQ(result.err, refusal.error);
        }
        EXPECT_EQ(Rows(result.err), 1u);
    }
    EXPECT_EQ(Table(), "previous scan");
    EXPECT_EQ(ReadFile(Work() / "LOOKUPHS"), lookup);
    EXPECT_EQ(ReadFile(Work() / "room.scene"), "previous scene");
    EXPECT_EQ(ReadFile(Work() / "cap.bin"), "previous capture");
    EXPECT_THAT(OtherFiles(),
                ElementsAre("cap.bin", "room.scene", "scan.txt", "scan.txt.json", "t.txt.json"));

    // A capture and a table whose names differ are fine, each with its own.
    const Case& allowed = refused.back();
    const ProgramResult good = Velscan({allowed.arguments.front(), "-l", "1"}, allowed.environment);
    EXPECT_EQ(good.exitCode, 0) << good.err;
    EXPECT_TRUE(fs::exists(Work() / "c.json"));
    EXPECT_TRUE(fs::exists(Work() / "c.bin.json"));
}

TEST_F(SharedNamesTest, AnUncreatableTraceLeavesNoCaptureBehind) {
    const ProgramResult result = Velscan(
        {"scan.txt", "-l", "1"},
        {{"VELSCAN_CAPTURE", "raw.bin"}, {"VELSCAN_TRACE", "no/such/dir/trace"}});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Error: VELSCAN_TRACE: can't create the file no/such/dir/trace\n");
    EXPECT_THAT(OtherFiles(), IsEmpty());

    // Different files are fine, and the capture survives the table's rename.
    const ProgramResult good =
        Velscan({"scan.txt", "-l", "1"}, {{"VELSCAN_CAPTURE", "raw.bin"}});
    EXPECT_EQ(good.exitCode, 0) << good.err;
    EXPECT_EQ(fs::file_size(Work() / "raw.bin"), (20u + 5000u) * 16u);
    EXPECT_THAT(OtherFiles(), ElementsAre("raw.bin", "raw.bin.json", "scan.txt", "scan.txt.json"));
}

TEST_F(SharedNamesTest, AnOutputNameTooLongForTheFileSystemIsRefusedBeforeTheHardware) {
    const std::string name(256, 'n');  // one more than the file system holds
    const ProgramResult result = Velscan({name, "-l", "1"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "Error: Can't create the file " + name + "\n");
    EXPECT_FALSE(Trace().serialOpened);
    EXPECT_FALSE(Trace().cardOpened);
    EXPECT_THAT(OtherFiles(), IsEmpty());
}

}  // namespace
}  // namespace velscan::e2e
