// A real-clock simulated scan killed with SIGKILL after some lines, then
// velscan-reconvert with no option: every complete line comes back.
//
// The simulated instrument times each sample on the clock (the mirror's
// angle and the temperature at that moment), so under the real clock no two
// runs of one seed give the same records; the rows are compared instead with
// an uninterrupted run of velscan itself, same options, that plays the killed
// run's complete lines back as its card.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "velscan_fixture.hpp"

namespace velscan::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kRecordBytes = 16;
constexpr std::size_t kCalibrationBytes = 20 * kRecordBytes;
constexpr std::size_t kLineBytes = 5000 * kRecordBytes;

using CrashRecoveryTest = VelscanFixture;

std::string Python(const fs::path& folder, const std::string& script, const std::string& file) {
    ProgramRun run;
    run.arguments = {"-c", "import json,sys; d=json.load(open(sys.argv[1])); print(json.dumps(" + script + "))", file};
    run.workingDirectory = folder;
    const ProgramResult result = Execute("/usr/bin/python3", run);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out.substr(0, result.out.find('\n'));
}

TEST_F(CrashRecoveryTest, AScanKilledAfterSomeLinesIsRecoveredLineForLine) {
    const std::vector<std::string> options = {"scan.txt", "-l", "40", "-s", "20"};
    const auto program = Start(options, {{"VELSCAN_CLOCK", "real"}});
    // Until a dozen lines are in the capture (the mirror's run-up is 20 s).
    const fs::path capture = Work() / "scan.txt.capture";
    const std::size_t wanted = kCalibrationBytes + 12 * kLineBytes;
    const auto size = [&capture] {
        std::error_code absent;
        const std::uintmax_t bytes = fs::file_size(capture, absent);
        return absent ? std::uintmax_t{0} : bytes;
    };
    for (int waited = 0; waited < 60000 && size() < wanted; waited += 10) ::usleep(10000);
    ASSERT_GE(size(), wanted) << program->ErrorSoFar();
    program->Signal(SIGKILL);
    EXPECT_EQ(program->Wait().signal, SIGKILL);
    EXPECT_FALSE(fs::exists(Work() / "scan.txt"));

    // What the run put in place before sampling: a scan in progress, with
    // what a conversion needs.
    const std::string metadata = "scan.txt.capture.json";
    EXPECT_EQ(Python(Work(), "[d['describes'], d['end'], d['times']['end'], d['capture']['records']]", metadata),
              "[\"capture\", null, null, null]");
    EXPECT_EQ(Python(Work(), "[d['settings']['samplePeriod'], d['settings']['lines'], d['capture']['samplingStartsAtRecord']]",
                     metadata),
              "[20, 40, 20]");
    EXPECT_EQ(Python(Work(), "[d['calibration']['value'] is not None, d['calibration']['averagingCount'] is not None, "
                             "len(d['lookup']['sha256']), d['times']['start'] is not None]",
                     metadata),
              "[true, true, 64, true]");

    const std::size_t bytes = fs::file_size(capture);
    const std::size_t lines = (bytes - kCalibrationBytes) / kLineBytes;
    ProgramRun again;
    again.arguments = {"scan.txt.capture", "recovered.txt"};
    again.workingDirectory = Work();
    const ProgramResult recovered = Execute(VELSCAN_RECONVERT_BINARY, again);
    ASSERT_EQ(recovered.exitCode, 0) << recovered.err;
    EXPECT_THAT(recovered.out, ::testing::StartsWith("Converted " + std::to_string(lines) +
                                                     " lines of scan.txt.capture into recovered.txt; the scan was "
                                                     "cut short after " +
                                                     std::to_string(lines) + " complete lines of 40 asked; "));
    EXPECT_EQ(Python(Work(), "[d['end']['how'], d['reconverted']['cutShort']['completeLines'], "
                             "d['reconverted']['cutShort']['recordsLeftOver'] * 16 + "
                             "d['reconverted']['cutShort']['bytesLeftOver']]",
                     "recovered.txt.json"),
              "[\"cut short\", " + std::to_string(lines) + ", " +
                  std::to_string(bytes - kCalibrationBytes - lines * kLineBytes) + "]");

    // The same lines, recorded by an uninterrupted run that reads them.
    {
        std::ifstream in(capture, std::ios::binary);
        std::string whole(kCalibrationBytes + lines * kLineBytes, '\0');
        in.read(whole.data(), static_cast<std::streamsize>(whole.size()));
        std::ofstream(Work() / "complete.cap", std::ios::binary) << whole;
    }
    const ProgramResult uninterrupted =
        Velscan({"uninterrupted.txt", "-l", std::to_string(lines), "-s", "20"},
                {{"VELSCAN_SIM", ""}, {"VELSCAN_CARD", "replay:complete.cap"}, {"VELSCAN_LASER", "sim"},
                 {"VELSCAN_CAPTURE", "off"}});
    ASSERT_EQ(uninterrupted.exitCode, 0) << uninterrupted.err;
    const std::string table = Table("recovered.txt");
    EXPECT_EQ(Rows(table), lines * 5000);
    EXPECT_TRUE(table == Table("uninterrupted.txt"));
}

}  // namespace
}  // namespace velscan::e2e
