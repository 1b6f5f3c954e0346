// The file writer on POSIX file systems: links, modes, FIFOs, link loops, a
// file-size limit that makes a write fail, and the forced end.
#include "platform/files/output_files.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "output_files_fixture.hpp"
#include "platform/files/forced_end.hpp"

namespace velscan {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

bool Put(files::OutputFile& output, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), output.Stream()) == text.size();
}

TEST_F(OutputFilesTest, ALinkIsWrittenThroughDanglingOrNot) {
    fs::create_directory(directory_ / "real");
    WriteFile(Path("real/existing.txt"), "old");
    fs::create_symlink("real/existing.txt", directory_ / "link.txt");
    fs::create_symlink("real/new.txt", directory_ / "dangling.txt");
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    files::OutputFile* linked = outputs.Create(Path("link.txt"), files::Content::Binary, why);
    files::OutputFile* dangling = outputs.Create(Path("dangling.txt"), files::Content::Binary, why);
    ASSERT_NE(linked, nullptr);
    ASSERT_NE(dangling, nullptr);
    // The unfinished file lies beside the file the link names.
    EXPECT_EQ(fs::path(linked->TemporaryPath()).parent_path(), directory_ / "real");
    ASSERT_TRUE(Put(*linked, "through"));
    ASSERT_TRUE(Put(*dangling, "created"));
    ASSERT_EQ(outputs.Commit(), std::nullopt);

    EXPECT_TRUE(fs::is_symlink(directory_ / "link.txt"));
    EXPECT_TRUE(fs::is_symlink(directory_ / "dangling.txt"));
    EXPECT_EQ(Read(Path("real/existing.txt")), "through");
    EXPECT_EQ(Read(Path("real/new.txt")), "created");
    EXPECT_THAT(Files(), ElementsAre("dangling.txt", "link.txt", "real"));
}

TEST_F(OutputFilesTest, AnExistingFileKeepsItsMode) {
    WriteFile(Path("private.txt"), "old");
    ASSERT_EQ(::chmod(Path("private.txt").c_str(), 0640), 0);
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    files::OutputFile* output = outputs.Create(Path("private.txt"), files::Content::Text, why);
    ASSERT_NE(output, nullptr);
    ASSERT_TRUE(Put(*output, "new"));
    ASSERT_EQ(outputs.Commit(), std::nullopt);
    struct stat status {};
    ASSERT_EQ(::stat(Path("private.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(Read(Path("private.txt")), "new");
}

TEST_F(OutputFilesTest, AFifoIsWrittenInPlaceAndNeverWaitedFor) {
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    // Nobody reads it: refused at once instead of blocking.
    EXPECT_EQ(outputs.Create(Path("pipe"), files::Content::Binary, why), nullptr);
    EXPECT_EQ(why, std::errc::no_such_device_or_address);
    std::FILE* running = files::OpenRunningFile(Path("pipe"), files::Content::Binary, why);
    EXPECT_EQ(running, nullptr);
    if (running != nullptr) std::fclose(running);

    // With a reader it is written in place, with no unfinished file.
    const int reader = ::open(Path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    files::OutputFile* output = outputs.Create(Path("pipe"), files::Content::Binary, why);
    ASSERT_NE(output, nullptr) << why.message();
    EXPECT_TRUE(output->TemporaryPath().empty());
    ASSERT_TRUE(Put(*output, "through the pipe"));
    EXPECT_EQ(outputs.Commit(), std::nullopt);
    char received[32] = {};
    EXPECT_EQ(::read(reader, received, sizeof received), 16);
    EXPECT_EQ(std::string(received), "through the pipe");
    ::close(reader);
    EXPECT_THAT(Files(), ElementsAre("pipe"));
}

TEST_F(OutputFilesTest, ALoopOfLinksIsRefusedAndLeftAsItIs) {
    fs::create_symlink("b", directory_ / "a");
    fs::create_symlink("a", directory_ / "b");
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    EXPECT_EQ(outputs.Create(Path("a"), files::Content::Text, why), nullptr);
    EXPECT_EQ(why, std::errc::too_many_symbolic_link_levels);
    EXPECT_EQ(files::OpenRunningFile(Path("b"), files::Content::Text, why), nullptr);
    EXPECT_TRUE(fs::is_symlink(directory_ / "a"));
    EXPECT_TRUE(fs::is_symlink(directory_ / "b"));
    EXPECT_THAT(Files(), ElementsAre("a", "b"));
}

TEST_F(OutputFilesTest, ARunningFileIsCreatedOrEmptiedAndWrittenThroughALink) {
    WriteFile(Path("capture.bin"), "an older, longer capture");
    fs::create_symlink("capture.bin", directory_ / "link.bin");
    std::error_code why;
    std::FILE* file = files::OpenRunningFile(Path("link.bin"), files::Content::Binary, why);
    ASSERT_NE(file, nullptr) << why.message();
    ASSERT_GE(std::fputs("new", file), 0);
    EXPECT_TRUE(files::CloseWrittenStream(file));
    EXPECT_EQ(Read(Path("capture.bin")), "new");
    EXPECT_TRUE(fs::is_symlink(directory_ / "link.bin"));
}

// In a child process: a file-size limit of 1 KiB with SIGXFSZ ignored, so the
// second output's write fails while the first fits. Exit 0 when the commit
// failed at the write of the second output, as it must.
int CommitPastAFileSizeLimit(const std::string& first, const std::string& second) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, 1024};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    files::OutputFile* small = outputs.Create(first, files::Content::Binary, why);
    files::OutputFile* large = outputs.Create(second, files::Content::Binary, why);
    if (small == nullptr || large == nullptr) return 11;
    (void)Put(*small, "new small");
    (void)Put(*large, std::string(3000, 'x'));  // buffered: the failure shows at the close
    const std::optional<files::CommitFailure> failure = outputs.Commit();
    if (!failure) return 12;
    if (failure->stage != files::CommitFailure::Stage::Write || failure->output != large)
        return 13;
    if (failure->why != std::errc::file_too_large) return 14;  // the system's reason
    return 0;
}

TEST_F(OutputFilesTest, AFailedWriteReplacesNoTargetOfTheSet) {
    WriteFile(Path("small.ply"), "old small");
    WriteFile(Path("large.png"), "old large");
    const std::string first = Path("small.ply");
    const std::string second = Path("large.png");
    EXPECT_EXIT(std::_Exit(CommitPastAFileSizeLimit(first, second)), ::testing::ExitedWithCode(0),
                "");
    // The first output was complete, but its target was not replaced either.
    EXPECT_EQ(Read(Path("small.ply")), "old small");
    EXPECT_EQ(Read(Path("large.png")), "old large");
    EXPECT_THAT(Files(), ElementsAre("large.png", "small.ply"));
}

// In a child: waits until `start` closes, then saves `table` and its
// metadata file, each naming `tag`. Exit 0 when the set was committed.
[[noreturn]] void SaveOnePair(const std::string& table, int start, const std::string& tag) {
    char byte = 0;
    (void)::read(start, &byte, 1);
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    files::OutputFile* data = outputs.Create(table, files::Content::Binary, why);
    files::OutputFile* metadata = outputs.Create(table + ".json", files::Content::Binary, why);
    if (data == nullptr || metadata == nullptr) ::_exit(2);
    if (!Put(*data, "table " + tag) || !Put(*metadata, "describes table " + tag)) ::_exit(3);
    ::_exit(outputs.Commit() ? 1 : 0);
}

// Two processes save one table and its metadata file at the same moment,
// round after round: afterwards the metadata always describes the table
// beside it, never the other process's.
TEST_F(OutputFilesTest, TwoProcessesSavingOneSetAtOnceLeaveATableBesideItsOwnMetadata) {
    constexpr int kRounds = 150;
    const std::string table = Path("t.txt");
    int mixed = 0;
    for (int round = 0; round < kRounds; ++round) {
        int start[2];
        ASSERT_EQ(::pipe(start), 0);
        pid_t children[2] = {-1, -1};
        for (int child = 0; child < 2; ++child) {
            children[child] = ::fork();
            ASSERT_GE(children[child], 0);
            if (children[child] == 0) {
                ::close(start[1]);
                SaveOnePair(table, start[0], std::to_string(round) + "/" + std::to_string(child));
            }
        }
        ::close(start[0]);
        ::close(start[1]);  // both start now
        for (const pid_t child : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        if (Read(Path("t.txt.json")) != "describes " + Read(table)) ++mixed;
    }
    EXPECT_EQ(mixed, 0) << "rounds whose metadata describes the other process's table";
    EXPECT_THAT(Files(), ElementsAre("t.txt", "t.txt.json"));
}

// In a child with the forced end of velscan-export and velscan-reconvert:
// `signal` arrives while the set is written (`early`) or between its two
// renames. The exit code is the signal's when it ended the program.
int SaveInterruptedBy(int signal, bool early, const std::string& first, const std::string& second) {
    files::EndOnRequestRemovingUnfinishedFiles();
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    files::OutputFile* a = outputs.Create(first, files::Content::Binary, why);
    files::OutputFile* b = outputs.Create(second, files::Content::Binary, why);
    if (a == nullptr || b == nullptr) return 11;
    if (!Put(*a, "new first") || !Put(*b, "new second")) return 12;
    if (early) ::raise(signal);
    outputs.SetBeforeRename([&](const files::OutputFile& output) {
        if (&output == b) ::raise(signal);
    });
    (void)outputs.Commit();
    return 13;  // the signal was lost
}

TEST_F(OutputFilesTest, AForcedEndRemovesUnfinishedFilesAndNeverCutsASetInTwo) {
    WriteFile(Path("first"), "old first");
    WriteFile(Path("second"), "old second");
    const std::string first = Path("first");
    const std::string second = Path("second");
    // While written: nothing replaced, nothing left.
    EXPECT_EXIT(std::_Exit(SaveInterruptedBy(SIGINT, true, first, second)),
                ::testing::ExitedWithCode(files::kExitInterrupted), "");
    EXPECT_EQ(Read(first), "old first");
    EXPECT_EQ(Read(second), "old second");
    EXPECT_THAT(Files(), ElementsAre("first", "second"));
    // Between the renames: the set is put in place whole first.
    EXPECT_EXIT(std::_Exit(SaveInterruptedBy(SIGTERM, false, first, second)),
                ::testing::ExitedWithCode(files::kExitTerminated), "");
    EXPECT_EQ(Read(first), "new first");
    EXPECT_EQ(Read(second), "new second");
    EXPECT_THAT(Files(), ElementsAre("first", "second"));
}

}  // namespace
}  // namespace velscan
