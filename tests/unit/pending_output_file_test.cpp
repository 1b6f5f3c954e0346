#include "acquisition/pending_output_file.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>


namespace velscan {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class PendingOutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = fs::temp_directory_path() /
                     ("velscan-pending-" + std::to_string(std::random_device{}()));
        fs::create_directories(directory_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
    std::string Path(const char* name) const { return (directory_ / name).string(); }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path directory_;
};

TEST_F(PendingOutputFileTest, TheTableReplacesTheTargetOnlyWhenPutInPlace) {
    { std::ofstream(Path("scan.txt")) << "old"; }
    {
        PendingOutputFile pending(Path("scan.txt"));
        ASSERT_TRUE(pending.Created());
        EXPECT_EQ(fs::path(pending.TemporaryPath()).parent_path(), directory_);
        EXPECT_EQ(Files().size(), 2u);
        EXPECT_EQ(Read(Path("scan.txt")), "old");  // untouched while the table is written

        OutputStream stream = pending.TakeStream();
        ASSERT_TRUE(stream.Write("new", 3));
        ASSERT_TRUE(stream.Close());
        EXPECT_EQ(Read(Path("scan.txt")), "old");
        EXPECT_TRUE(pending.PutInPlace());
    }
    EXPECT_EQ(Read(Path("scan.txt")), "new");
    EXPECT_THAT(Files(), ElementsAre("scan.txt"));
}

TEST_F(PendingOutputFileTest, AnAbandonedTableLeavesNothingBehind) {
    { std::ofstream(Path("scan.txt")) << "old"; }
    {
        PendingOutputFile pending(Path("scan.txt"));
        ASSERT_TRUE(pending.Created());
        OutputStream stream = pending.TakeStream();
        ASSERT_TRUE(stream.Write("partial", 7));
    }  // the stream closes first, then the file goes
    {
        PendingOutputFile unused(Path("fresh.txt"));
        ASSERT_TRUE(unused.Created());
        unused.Discard();
        unused.Discard();
    }
    EXPECT_EQ(Read(Path("scan.txt")), "old");
    EXPECT_THAT(Files(), ElementsAre("scan.txt"));
}

TEST_F(PendingOutputFileTest, TwoTablesForOneTargetGetDifferentFiles) {
    PendingOutputFile first(Path("scan.txt"));
    PendingOutputFile second(Path("scan.txt"));
    ASSERT_TRUE(first.Created());
    ASSERT_TRUE(second.Created());
    EXPECT_NE(first.TemporaryPath(), second.TemporaryPath());
}

TEST_F(PendingOutputFileTest, TargetsThatCannotBeWrittenAreRefused) {
    fs::create_directory(directory_ / "folder");
    EXPECT_FALSE(PendingOutputFile(Path("missing/scan.txt")).Created());
    EXPECT_FALSE(PendingOutputFile(Path("folder")).Created());
    EXPECT_FALSE(PendingOutputFile("").Created());
    EXPECT_THAT(Files(), ElementsAre("folder"));
}

TEST_F(PendingOutputFileTest, AFailedReplacementKeepsTheFinishedTable) {
    std::string kept;
    {
        PendingOutputFile pending(Path("scan.txt"));
        ASSERT_TRUE(pending.Created());
        kept = pending.TemporaryPath();
        OutputStream stream = pending.TakeStream();
        ASSERT_TRUE(stream.Write("table", 5));
        ASSERT_TRUE(stream.Close());
        // The target became a directory with content while the table was written.
        fs::create_directories(directory_ / "scan.txt" / "inside");
        EXPECT_FALSE(pending.PutInPlace());
    }
    EXPECT_EQ(Read(kept), "table");
}

}  // namespace
}  // namespace velscan
