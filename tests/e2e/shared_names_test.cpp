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
