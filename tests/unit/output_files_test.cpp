// The file writer both programs use: when targets are replaced, what is left
// behind, and what is refused.
#include "platform/files/output_files.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "output_files_fixture.hpp"
#include "platform/files/file_system.hpp"

namespace velscan {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

void Put(files::OutputFile& output, const std::string& text) {
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), output.Stream()), text.size());
}

TEST_F(OutputFilesTest, EveryTargetIsReplacedOnlyWhenTheSetIsCommitted) {
    WriteFile(Path("scan.txt"), "old scan");
    WriteFile(Path("cloud.ply"), "old cloud");
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    files::OutputFile* scan = outputs.Create(Path("scan.txt"), files::Content::Binary, why);
    files::OutputFile* cloud = outputs.Create(Path("cloud.ply"), files::Content::Binary, why);
    ASSERT_NE(scan, nullptr) << why.message();
    ASSERT_NE(cloud, nullptr) << why.message();
    // Each is written beside its target, under a name of its own.
    EXPECT_EQ(fs::path(scan->TemporaryPath()).parent_path(), directory_);
    EXPECT_NE(scan->TemporaryPath(), cloud->TemporaryPath());
    EXPECT_EQ(Files().size(), 4u);

    Put(*scan, "new scan");
    Put(*cloud, "new cloud");
    // Written, but not committed: both targets are as they were.
    EXPECT_EQ(Read(Path("scan.txt")), "old scan");
    EXPECT_EQ(Read(Path("cloud.ply")), "old cloud");

    EXPECT_EQ(outputs.Commit(), std::nullopt);
    EXPECT_EQ(Read(Path("scan.txt")), "new scan");
    EXPECT_EQ(Read(Path("cloud.ply")), "new cloud");
    EXPECT_THAT(Files(), ElementsAre("cloud.ply", "scan.txt"));
}

TEST_F(OutputFilesTest, ASetDroppedUnfinishedLeavesEveryTargetAndNothingElse) {
    WriteFile(Path("scan.txt"), "old");
    {
        files::OutputFiles outputs(".velscan");
        std::error_code why;
        files::OutputFile* scan = outputs.Create(Path("scan.txt"), files::Content::Text, why);
        ASSERT_NE(scan, nullptr);
        Put(*scan, "partial");
        ASSERT_NE(outputs.Create(Path("fresh.txt"), files::Content::Text, why), nullptr);
        outputs.Discard();
        outputs.Discard();
        EXPECT_THAT(Files(), ElementsAre("scan.txt"));
        ASSERT_NE(outputs.Create(Path("later.txt"), files::Content::Text, why), nullptr);
    }  // the destructor drops what Discard did not see
    EXPECT_EQ(Read(Path("scan.txt")), "old");
    EXPECT_THAT(Files(), ElementsAre("scan.txt"));
}

TEST_F(OutputFilesTest, AStreamTakenByItsWriterIsCommittedAsThatWriterClosedIt) {
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    files::OutputFile* table = outputs.Create(Path("scan.txt"), files::Content::Binary, why);
    ASSERT_NE(table, nullptr);
    std::FILE* stream = table->TakeStream();
    EXPECT_EQ(table->Stream(), nullptr);
    ASSERT_GE(std::fputs("table", stream), 0);
    EXPECT_TRUE(files::CloseWrittenStream(stream));
    EXPECT_EQ(outputs.Commit(), std::nullopt);
    EXPECT_EQ(Read(Path("scan.txt")), "table");
}

TEST_F(OutputFilesTest, TargetsThatCannotBeWrittenAreRefusedWithTheSystemsReason) {
    fs::create_directory(directory_ / "folder");
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    EXPECT_EQ(outputs.Create(Path("missing/scan.txt"), files::Content::Text, why), nullptr);
    EXPECT_EQ(why, std::errc::no_such_file_or_directory);
    EXPECT_EQ(outputs.Create(Path("folder"), files::Content::Text, why), nullptr);
    EXPECT_EQ(why, std::errc::is_a_directory);
    EXPECT_EQ(outputs.Create("", files::Content::Text, why), nullptr);
    EXPECT_TRUE(why);
    // A name longer than any file system holds, in a folder that exists.
    EXPECT_EQ(outputs.Create(Path(std::string(300, 'n')), files::Content::Text, why), nullptr);
    EXPECT_EQ(why, std::errc::filename_too_long);
    EXPECT_THAT(Files(), ElementsAre("folder"));
    EXPECT_EQ(outputs.Commit(), std::nullopt);  // an empty set commits
}

TEST_F(OutputFilesTest, TheUnfinishedFileIsCreatedExclusively) {
    // The writer's create never opens a file that is already there.
    WriteFile(Path("taken.tmp"), "someone else's");
    std::error_code why;
    EXPECT_EQ(files::system::CreateExclusive(Path("taken.tmp"), files::Content::Binary, why),
              nullptr);
    EXPECT_EQ(why, std::errc::file_exists);
    EXPECT_EQ(Read(Path("taken.tmp")), "someone else's");
}

// The names in the folder that start with the writer's prefix.
std::vector<std::string> Unfinished(const std::vector<std::string>& names) {
    std::vector<std::string> left;
    for (const std::string& name : names)
        if (name.starts_with(".velscan")) left.push_back(name);
    return left;
}

// A target made a folder with content while the set was written: found
// before any target is replaced, so the one before it keeps its content.
TEST_F(OutputFilesTest, ATargetThatBecameAFolderIsFoundBeforeAnyTargetIsReplaced) {
    WriteFile(Path("scan.txt"), "old table");
    std::string kept;
    {
        files::OutputFiles outputs(".velscan");
        std::error_code why;
        files::OutputFile* table = outputs.Create(Path("scan.txt"), files::Content::Text, why);
        files::OutputFile* metadata = outputs.Create(Path("scan.txt.json"), files::Content::Binary, why);
        ASSERT_NE(table, nullptr);
        ASSERT_NE(metadata, nullptr);
        kept = table->TemporaryPath();
        Put(*table, "new table");
        Put(*metadata, "new metadata");
        fs::create_directories(directory_ / "scan.txt.json" / "inside");
        const std::optional<files::CommitFailure> failure = outputs.Commit();
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->stage, files::CommitFailure::Stage::Replace);
        EXPECT_EQ(failure->output, metadata);
        EXPECT_EQ(failure->why, std::errc::is_a_directory);
        EXPECT_EQ(Read(Path("scan.txt")), "old table");
        // The finished table can be kept, and only it.
        outputs.KeepUnfinished(*table);
    }
    EXPECT_EQ(Read(kept), "new table");
    EXPECT_THAT(Files(), ElementsAre(fs::path(kept).filename().string(), "scan.txt", "scan.txt.json"));
}

// A rename that fails after others succeeded (the target changed between the
// check and the rename) puts every target back: an existing one gets its
// earlier content, a new one is gone again, and each finished file is back
// under its unfinished name.
TEST_F(OutputFilesTest, ARenameThatStillFailsPutsBackEveryTargetReplacedBeforeIt) {
    WriteFile(Path("a.txt"), "old a");
    WriteFile(Path("c.txt"), "old c");
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    files::OutputFile* a = outputs.Create(Path("a.txt"), files::Content::Binary, why);
    files::OutputFile* b = outputs.Create(Path("b.txt"), files::Content::Binary, why);
    files::OutputFile* c = outputs.Create(Path("c.txt"), files::Content::Binary, why);
    ASSERT_TRUE(a != nullptr && b != nullptr && c != nullptr);
    Put(*a, "new a");
    Put(*b, "new b");
    Put(*c, "new c");
    outputs.SetBeforeRename([&](const files::OutputFile& output) {
        if (&output != c) return;
        fs::remove(directory_ / "c.txt");
        fs::create_directories(directory_ / "c.txt" / "inside");
    });
    const std::optional<files::CommitFailure> failure = outputs.Commit();
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->stage, files::CommitFailure::Stage::Replace);
    EXPECT_EQ(failure->output, c);
    EXPECT_TRUE(failure->changed.empty());
    EXPECT_EQ(Read(Path("a.txt")), "old a");
    EXPECT_FALSE(fs::exists(directory_ / "b.txt"));
    EXPECT_EQ(Read(a->TemporaryPath()), "new a");
    EXPECT_EQ(Read(b->TemporaryPath()), "new b");
    outputs.Discard();
    EXPECT_THAT(Files(), ElementsAre("a.txt", "c.txt"));
}

// When even putting back fails (here the earlier content vanished), the
// failure names the target that now holds its new file.
TEST_F(OutputFilesTest, ATargetThatCannotBePutBackIsNamed) {
    WriteFile(Path("a.txt"), "old a");
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    files::OutputFile* a = outputs.Create(Path("a.txt"), files::Content::Binary, why);
    files::OutputFile* b = outputs.Create(Path("b.txt"), files::Content::Binary, why);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    Put(*a, "new a");
    Put(*b, "new b");
    outputs.SetBeforeRename([&](const files::OutputFile& output) {
        if (&output != b) return;
        for (const std::string& name : Files())
            if (name.ends_with(".old")) fs::remove(directory_ / name);
        fs::create_directories(directory_ / "b.txt" / "inside");
    });
    const std::optional<files::CommitFailure> failure = outputs.Commit();
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->stage, files::CommitFailure::Stage::Undone);
    ASSERT_EQ(failure->changed.size(), 1u);
    EXPECT_EQ(failure->changed[0].target, Path("a.txt"));
    EXPECT_EQ(Read(Path("a.txt")), "new a");
    EXPECT_EQ(files::DescribeChangedTargets(*failure),
              Path("a.txt") + " now holds the new file (its earlier content is kept in " +
                  failure->changed[0].earlierKeptIn + ")");
    outputs.Discard();
    EXPECT_THAT(Unfinished(Files()), IsEmpty());
}

}  // namespace
}  // namespace velscan
