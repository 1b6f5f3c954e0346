// velscan's runs against what only POSIX systems have: a metadata file that
// is a link to a device that is always full.
#include "acquisition/run_acquisition.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition/exit_codes.hpp"
#include "run_fixture.hpp"

namespace velscan {
namespace {

using RunAcquisitionPosixTest = runtest::RunFixture;

TEST_F(RunAcquisitionPosixTest, AMetadataFileThatCannotBeWrittenIsNamedWithTheReason) {
    { std::ofstream("scan.txt") << "previous scan"; }
    std::filesystem::create_symlink("/dev/full", "scan.txt.json");
    const runtest::Outcome full = Run(Settings(2));
    EXPECT_EQ(full.exitCode, kExitRunFailed);
    EXPECT_EQ(Read("scan.txt"), "previous scan");
    // The finished table, the only copy of the scan, is kept and named.
    const std::vector<std::string> left = OtherFiles();
    ASSERT_EQ(left.size(), 3u);
    const std::string& kept = left[0];
    EXPECT_EQ(Rows(Read(kept)), 2u * 5000);
    EXPECT_TRUE(full.err.ends_with("Saving Data,Please Waiting\nError: Can't write the file "
                                   "scan.txt.json: No space left on device; the table is kept in " +
                                   kept + "\n")) << full.err;
}

}  // namespace
}  // namespace velscan
