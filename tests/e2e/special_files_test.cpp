// Targets and inputs that are not plain files: a symbolic link is written
// through, permissions are kept, a FIFO is written in place, a name near the
// length limit works; FIFO inputs fail with their documented error instead of
// hanging, and so do FIFOs nobody reads as capture or trace; a loop of links
// as target is refused; a capture that cannot be written completely is
// reported.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <stdexcept>
#include <utility>

#include "velscan_fixture.hpp"

namespace velscan::e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

using SpecialFilesTest = VelscanFixture;

TEST_F(SpecialFilesTest, ALinkIsWrittenThroughAndPermissionsAreKept) {
    fs::create_directory(Work() / "tables");
    { std::ofstream(Work() / "tables" / "real.txt") << "previous scan"; }
    fs::permissions(Work() / "tables" / "real.txt", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("tables/real.txt", Work() / "scan.txt");

    const ProgramResult result = Velscan({"scan.txt", "-l", "1"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(fs::is_symlink(Work() / "scan.txt"));
    EXPECT_EQ(Rows(Table("tables/real.txt")), 5000u);
    EXPECT_EQ(fs::status(Work() / "tables" / "real.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    // The files beside the table stand beside the link's name.
    EXPECT_THAT(OtherFiles(),
                ElementsAre("scan.txt", "scan.txt.capture", "scan.txt.capture.json", "scan.txt.json", "tables"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Work() / "tables"), fs::directory_iterator()),
              1);
}

// A reader of a FIFO, there before the program opens it for writing.
class FifoReader {
public:
    explicit FifoReader(const fs::path& path) {
        if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
        std::promise<void> opened;
        auto ready = opened.get_future();
        text_ = std::async(std::launch::async, [path, opened = std::move(opened)]() mutable {
            std::ifstream in(path, std::ios::binary);
            opened.set_value();
            return std::string(std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>());
        });
        // Opening for reading waits for a writer: one that never writes is
        // held open until Text(), so the program's open does not wait.
        writer_ = ::open(path.c_str(), O_WRONLY);
        ready.wait();
    }
    ~FifoReader() {
        if (writer_ >= 0) ::close(writer_);
    }
    // Everything written, once the program has closed its end.
    std::string Text() {
        ::close(std::exchange(writer_, -1));
        return text_.get();
    }

private:
    std::future<std::string> text_;
    int writer_ = -1;
};

TEST_F(SpecialFilesTest, AFifoTargetIsWrittenInPlace) {
    FifoReader reader(Work() / "scan.txt");
    const ProgramResult result = Velscan({"scan.txt", "-l", "1"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Rows(reader.Text()), 5000u);
    EXPECT_TRUE(fs::is_fifo(Work() / "scan.txt"));
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt"));
}

TEST_F(SpecialFilesTest, AnOutputNameOfTheLongestLengthWorks) {
    const std::string name(255, 'n');
    const ProgramResult result = Velscan({name, "-l", "0"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Table(name.c_str()), kHeader);
    // No room for ".json" or ".capture" after it: the table stands alone, and
    // the operator is told.
    EXPECT_NE(result.err.find("Warning: no metadata file beside " + name + ": the name " + name +
                              ".json is too long\n"),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(result.err.starts_with("Warning: no capture beside " + name + ": the name " + name +
                                       ".capture is too long\n"))
        << result.err;
    EXPECT_THAT(OtherFiles(), ElementsAre(name));
}

TEST_F(SpecialFilesTest, FifoInputsFailWithTheirErrorInsteadOfWaiting) {
    ASSERT_EQ(mkfifo((Work() / "fifo").c_str(), 0600), 0);
    const ProgramResult scene = Velscan({"scan.txt"}, {{"VELSCAN_SIM_SCENE", "fifo"}});
    EXPECT_EQ(scene.exitCode, 2);
    EXPECT_EQ(scene.err, "Error: VELSCAN_SIM_SCENE: scene file fifo cannot be read\n");
    const ProgramResult replay = Velscan({"scan.txt"}, {{"VELSCAN_CARD", "replay:fifo"}});
    EXPECT_EQ(replay.exitCode, 2);
    EXPECT_EQ(replay.err, "Error: VELSCAN_CARD=replay: cannot read fifo\n");

    fs::remove(Work() / "LOOKUPHS");
    ASSERT_EQ(mkfifo((Work() / "LOOKUPHS").c_str(), 0600), 0);
    const ProgramResult lookup = Velscan({"scan.txt"});
    EXPECT_EQ(lookup.exitCode, 3);
    EXPECT_EQ(lookup.out, "ERROR: Could not read calibration file\n");
    EXPECT_TRUE(Trace().cardClosed);
    EXPECT_THAT(OtherFiles(), ElementsAre("fifo"));
}

TEST_F(SpecialFilesTest, ACaptureThatCannotBeWrittenCompletelyIsReported) {
    // Regular files may grow to 4 kB (a full disk, in effect): standard error
    // fits, the capture's 5020 records do not; the table goes to a FIFO.
    FifoReader reader(Work() / "scan.txt");
    const ProgramResult result = Velscan({"scan.txt", "-l", "1"},
                                         {{"VELSCAN_CAPTURE", "raw.bin"}, {"VELSCAN_TRACE", ""}},
                                         std::nullopt, 4096);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, Finished(-1) + "Error: the capture file raw.bin could not be written "
                                         "completely: File too large\n" +
                              Saved(1, "scan.txt"));
    EXPECT_EQ(Rows(reader.Text()), 5000u);
}

TEST_F(SpecialFilesTest, AFifoAsCaptureOrTraceIsRefusedWhenNobodyReadsItInsteadOfWaiting) {
    ASSERT_EQ(mkfifo((Work() / "raw.fifo").c_str(), 0600), 0);
    const ProgramResult capture = Velscan({"scan.txt", "-l", "1"}, {{"VELSCAN_CAPTURE", "raw.fifo"}});
    EXPECT_EQ(capture.exitCode, 2);
    EXPECT_EQ(capture.err, "Error: VELSCAN_CAPTURE: cannot create raw.fifo\n");
    const ProgramResult trace = Velscan({"scan.txt", "-l", "1"}, {{"VELSCAN_TRACE", "raw.fifo"}});
    EXPECT_EQ(trace.exitCode, 2);
    EXPECT_EQ(trace.err, "Error: VELSCAN_TRACE: can't create the file raw.fifo\n");
    EXPECT_TRUE(fs::is_fifo(Work() / "raw.fifo"));
    EXPECT_THAT(OtherFiles(), ElementsAre("raw.fifo"));
}

TEST_F(SpecialFilesTest, AFifoAsCaptureWithAReaderReceivesEveryRecord) {
    FifoReader reader(Work() / "raw.fifo");
    const ProgramResult result = Velscan({"scan.txt", "-l", "1"}, {{"VELSCAN_CAPTURE", "raw.fifo"}});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(reader.Text().size(), (20u + 5000u) * 16u);
    EXPECT_EQ(Rows(Table()), 5000u);
}

TEST_F(SpecialFilesTest, ALoopOfLinksAsTheOutputIsRefusedAndStaysALoop) {
    fs::create_symlink("b", Work() / "a");
    fs::create_symlink("a", Work() / "b");
    const ProgramResult result = Velscan({"a", "-l", "1"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "Error: Can't create the file a\n");
    EXPECT_FALSE(Trace().serialOpened);
    EXPECT_FALSE(Trace().cardOpened);
    EXPECT_TRUE(fs::is_symlink(Work() / "a"));
    EXPECT_TRUE(fs::is_symlink(Work() / "b"));
    EXPECT_THAT(OtherFiles(), ElementsAre("a", "b"));
}

}  // namespace
}  // namespace velscan::e2e
