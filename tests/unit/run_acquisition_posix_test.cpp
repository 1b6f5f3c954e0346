// velscan's runs against what only POSIX systems have: a metadata file that
// is a link to a device that is always full.
#include "acquisition/run_acquisition.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "acquisition/exit_codes.hpp"
#include "run_fixture.hpp"

namespace velscan {
namespace {

using ::testing::ElementsAre;
using RunAcquisitionPosixTest = runtest::RunFixture;

TEST_F(RunAcquisitionPosixTest, AMetadataFileThatCannotBeWrittenIsNamedWithTheReason) {
    { std::ofstream("scan.txt") << "previous scan"; }
    std::filesystem::create_symlink("/dev/full", "scan.txt.json");
    const runtest::Outcome full = Run(Settings(2));
    EXPECT_EQ(full.exitCode, kExitRunFailed);
    EXPECT_TRUE(full.err.ends_with("Saving Data,Please Waiting\nError: Can't write the file "
                                   "scan.txt.json: No space left on device\n")) << full.err;
    EXPECT_EQ(Read("scan.txt"), "previous scan");
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt", "scan.txt.json"));
}

}  // namespace
}  // namespace velscan
