// Names with letters outside ASCII, held as UTF-8 narrow strings: the paths
// made from them, and the file writer and readers that take them. On Windows
// a path made straight from such a string names another file; these checks
// run there too (under Wine), where that fault shows.
#include "platform/files/path_name.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "conversion/whole_file.hpp"
#include "platform/files/creatable_file.hpp"
#include "platform/files/file_identity.hpp"
#include "platform/files/output_files.hpp"

namespace velscan {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// "März.txt" and "Jürgen" as UTF-8 bytes, as the command line gives them.
const std::string kMaerz = "M\xC3\xA4rz.txt";
const std::string kJuergen = "J\xC3\xBCrgen";

TEST(PathName, Utf8NamesBecomeTheLettersTheyEncodeAndComeBackUnchanged) {
    EXPECT_EQ(files::PathOf(kMaerz), fs::path(u8"M\u00E4rz.txt"));
    const fs::path joined = files::PathOf(kJuergen) / files::PathOf(kMaerz);
    EXPECT_EQ(joined, fs::path(u8"J\u00FCrgen") / fs::path(u8"M\u00E4rz.txt"));
    EXPECT_EQ(files::NameOf(joined.filename()), kMaerz);
    EXPECT_EQ(files::NameOf(joined.parent_path()), kJuergen);
    // Letters beyond the first plane (a surrogate pair in a wide name).
    const std::string beyond = "scan-\xF0\x9F\x93\x88.txt";
    EXPECT_EQ(files::NameOf(files::PathOf(beyond)), beyond);
}

class Utf8NamedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("velscan-names-" + std::to_string(std::random_device{}())) / u8"J\u00FCrgen";
        fs::create_directories(folder_);
        // The name as the command line gives it: UTF-8 bytes.
        target_ = folder_.parent_path().string() + "/" + kJuergen + "/" + kMaerz;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_.parent_path(), ignored);
    }
    // The folder's names as UTF-8, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            const std::u8string name = entry.path().filename().u8string();
            names.emplace_back(name.begin(), name.end());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    static void Save(const std::string& target, const std::string& text) {
        files::OutputFiles outputs(".velscan");
        std::error_code why;
        files::OutputFile* output = outputs.Create(target, files::Content::Binary, why);
        ASSERT_NE(output, nullptr) << why.message();
        ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), output->Stream()), text.size());
        ASSERT_EQ(outputs.Commit(), std::nullopt);
    }

    fs::path folder_;
    std::string target_;
};

TEST_F(Utf8NamedFiles, TheWriterCreatesAndReplacesTheFileNamedAndLeavesNothingElse) {
    EXPECT_EQ(files::WhyFileCannotBeCreated(target_), "");
    Save(target_, "first");
    Save(target_, "second");  // over the first: the earlier file kept aside, then gone
    EXPECT_THAT(Names(), ElementsAre(kMaerz));
    std::ifstream in(folder_ / u8"M\u00E4rz.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "second");
}

TEST_F(Utf8NamedFiles, TheReaderAndTheComparisonFindTheFileNamed) {
    std::ofstream(folder_ / u8"M\u00E4rz.txt", std::ios::binary) << "table";
    std::string bytes;
    std::string reason;
    EXPECT_TRUE(ReadWholeFile(target_, bytes, 100, &reason)) << reason;
    EXPECT_EQ(bytes, "table");
    const std::string sameFile = folder_.parent_path().string() + "/" + kJuergen + "/./" + kMaerz;
    EXPECT_TRUE(files::SameFile(target_, sameFile));
    const std::string other = folder_.parent_path().string() + "/" + kJuergen + "/Marz.txt";
    EXPECT_FALSE(files::SameFile(target_, other));
    EXPECT_EQ(files::FollowLinks(target_), target_);
}

}  // namespace
}  // namespace velscan
