#include "acquisition/run_acquisition.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "acquisition/exit_codes.hpp"
#include "acquisition/simulated_lookup.hpp"
#include "cardlib/device_controls.hpp"
#include "platform/interrupt.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include "run_fixture.hpp"
#include "run_transcript.hpp"

namespace velscan {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using runtest::RunFixture;

using RunAcquisitionTest = RunFixture;

using transcript::Finished;
using transcript::kHeader;
using transcript::kUpToSampling;
using transcript::Saved;

TEST_F(RunAcquisitionTest, CompleteRunFollowsTheSequenceAndWritesEveryLine) {
    const runtest::Outcome outcome = Run(Settings(3));

    EXPECT_EQ(outcome.exitCode, kExitSuccess);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, Finished(-1) + Saved(3, "scan.txt"));
    const std::string table = Read("scan.txt");
    EXPECT_EQ(table.substr(0, sizeof kHeader - 1), kHeader);
    EXPECT_EQ(Rows(table), 3u * 5000);
    EXPECT_NE(table.back(), '\n');
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt", "scan.txt.json"));

    EXPECT_THAT(serial->Writes(), ElementsAre("I", "DA1T2X3", "S20\n", "F650\n"));
    EXPECT_TRUE(InOrder({"serial open 1", "serial write I", "pause 200", "card open", "reset",
                         "reset", "switch 1", "encoder 3", "serial purge",
                         "serial write DA1T2X3", "serial write S20\n", "serial write F650\n",
                         "write 0003=00FF", "clear", "enable1", "enable2", "read", "status",
                         "read", "status", "read", "status", "write 0003=0000", "serial close",
                         "reset", "card closed"}));
    // 200 ms after the greeting, before the card is touched.
    const std::size_t greeting = Find("serial write I");
    ASSERT_LT(greeting + 2, events->size());
    EXPECT_EQ((*events)[greeting + 1], "pause 200");
    EXPECT_EQ((*events)[greeting + 2], "card open");
    // The mirror's 20 s: twenty one-second pauses right after the motor start,
    // then the buffer clear and sampling enable.
    const std::size_t motorStart = Find("write 0003=00FF");
    ASSERT_LT(motorStart + 23, events->size());
    for (std::size_t i = 1; i <= 20; ++i) EXPECT_EQ((*events)[motorStart + i], "pause 1000");
    EXPECT_EQ((*events)[motorStart + 21], "clear");
    EXPECT_EQ((*events)[motorStart + 22], "enable1");
    EXPECT_EQ((*events)[motorStart + 23], "enable2");
    EXPECT_EQ(Count("pause 1000"), 20u);
    // One calibration read and one read per line; one keyboard poll per line.
    EXPECT_EQ(Count("read"), 1u + 3);
    EXPECT_EQ(console->polls, 3);
    // The link is closed before the board, and both only once.
    EXPECT_LT(FindLast("serial close"), Find("card closed"));
    EXPECT_EQ(Count("serial close"), 1u);
    EXPECT_EQ(card->OpenDevices(), 0);
}

TEST(SimulatedLookupDigest, IsTheDigestOfTheExampleLookupFile) {
    const char* digest = std::getenv("VELSCAN_TEST_LOOKUP_SHA256");
    ASSERT_NE(digest, nullptr);
    EXPECT_EQ(kSimulatedLookupSha256, digest) << "examples/LOOKUPHS changed: update its digest";
}

// The simulated instrument's lookup file with a real card: one warning line
// right before the mirror's run-up, and the run goes on. With the simulated
// or the replayed card, or with another lookup file, no warning.
struct LookupWarningCase {
    const char* name;
    CardChoice card;
    bool exampleLookup;
    bool warned;
};

class LookupWarningTest : public RunFixture, public ::testing::WithParamInterface<LookupWarningCase> {};

TEST_P(LookupWarningTest, WarnsOnlyOfTheSimulatedInstrumentsFileWithTheRealCard) {
    const LookupWarningCase& row = GetParam();
    if (row.exampleLookup) {
        const char* examples = std::getenv("VELSCAN_TEST_EXAMPLES_DIR");
        ASSERT_NE(examples, nullptr);
        // Removed first: the Windows runtime's copy refuses to overwrite.
        std::filesystem::remove("LOOKUPHS");
        std::filesystem::copy_file(std::filesystem::path(examples) / "LOOKUPHS", "LOOKUPHS");
    }
    plan.card = row.card;
    const runtest::Outcome outcome = Run(Settings(1));
    EXPECT_EQ(outcome.exitCode, kExitSuccess);
    std::string expected = kUpToSampling;
    if (row.warned) expected.insert(expected.find("Waiting (20 sec.)"), kSimulatedLookupWarning);
    EXPECT_TRUE(outcome.err.starts_with(expected)) << outcome.err;
    EXPECT_EQ(outcome.err.find("Warning"), row.warned ? expected.find("Warning") : std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCard, LookupWarningTest,
    ::testing::Values(LookupWarningCase{"RealCard", CardChoice::Device, true, true},
                      LookupWarningCase{"NoDefaultCard", CardChoice::Missing, true, true},
                      LookupWarningCase{"RealCardOwnLookup", CardChoice::Device, false, false},
                      LookupWarningCase{"Simulated", CardChoice::Simulated, true, false},
                      LookupWarningCase{"Replay", CardChoice::Replay, true, false}),
    [](const ::testing::TestParamInfo<LookupWarningCase>& info) { return info.param.name; });

TEST_F(RunAcquisitionTest, SettingsReachTheHardware) {
    RunSettings settings = Settings(1);
    settings.portNumber = 4;
    settings.samplePeriod = 40;
    settings.maxRange = 300;
    settings.motorNumber = 2;
    settings.motorPower = 128;
    const runtest::Outcome outcome = Run(settings);
    EXPECT_EQ(outcome.exitCode, kExitSuccess);
    EXPECT_EQ(Count("serial open 4"), 1u);
    EXPECT_THAT(serial->Writes(), ElementsAre("I", "DA1T2X3", "S40\n", "F300\n"));
    EXPECT_TRUE(InOrder({"write 0003=8000", "read", "write 0003=0000"}));
}

TEST_F(RunAcquisitionTest, ZeroLinesWritesTheHeadingOnly) {
    const runtest::Outcome outcome = Run(Settings(0));
    EXPECT_EQ(outcome.exitCode, kExitSuccess);
    EXPECT_EQ(outcome.err, Finished(-1) + Saved(0, "scan.txt"));
    EXPECT_EQ(Read("scan.txt"), kHeader);
    EXPECT_EQ(Count("read"), 1u);  // the calibration's only
    EXPECT_EQ(console->polls, 0);
}

TEST_F(RunAcquisitionTest, LowerCaseQStopsAfterTheLineItWasReadAfterAndUpperCaseDoesNot) {
    // One key is read per line: Q after line 1, x after line 2, q after line 3.
    console->keys = {'Q', 'x', 'q', 'q'};
    const runtest::Outcome outcome = Run(Settings(10));
    EXPECT_EQ(outcome.exitCode, kExitSuccess);
    EXPECT_EQ(outcome.err, Finished(7) + Saved(3, "scan.txt"));  // L - k
    EXPECT_EQ(Rows(Read("scan.txt")), 3u * 5000);
    EXPECT_EQ(console->keys.size(), 1u);
    EXPECT_TRUE(InOrder({"read", "read", "read", "read", "write 0003=0000"}));
    EXPECT_EQ(Count("read"), 1u + 3);
}

TEST_F(RunAcquisitionTest, CtrlCActsLikeQ) {
    onLineRead = [](int line) {
        if (line == 1) platform::RequestInterrupt();
    };
    const runtest::Outcome outcome = Run(Settings(200));
    EXPECT_EQ(outcome.exitCode, kExitSuccess);
    EXPECT_EQ(outcome.err, Finished(198) + Saved(2, "scan.txt"));
    EXPECT_EQ(Rows(Read("scan.txt")), 2u * 5000);  // the line in progress is finished and kept
    EXPECT_EQ(Count("write 0003=0000"), 1u);
}

TEST_F(RunAcquisitionTest, RestartBitOnTheLastSampleRestartsSamplingAndIsReported) {
    alterLine = [](int line, std::vector<RawSample>& samples) {
        if (line == 1) samples.back().statusWord |= 1u;
        if (line == 2) samples.front().statusWord |= 1u;  // only the last sample counts
    };
    const runtest::Outcome outcome = Run(Settings(3));
    EXPECT_EQ(outcome.exitCode, kExitSuccess);
    EXPECT_EQ(outcome.err, Finished(-1, "Warning: samples were lost between lines in 1 of 3 "
                                        "lines (card buffer overflow or sampling restart).\n") +
                               Saved(3, "scan.txt"));
    // Line 1 is followed by a clear and enable before the next read, and kept.
    const std::size_t start = Find("write 0003=00FF");
    const std::vector<std::string> sampling(events->begin() + static_cast<std::ptrdiff_t>(start),
                                            events->end());
    EXPECT_EQ(std::count(sampling.begin(), sampling.end(), "clear"), 2);
    EXPECT_TRUE(InOrder({"write 0003=00FF", "clear", "enable1", "enable2", "read", "status",
                         "read", "status", "clear", "enable1", "enable2", "read", "status",
                         "write 0003=0000"}));
    EXPECT_EQ(Rows(Read("scan.txt")), 3u * 5000);
}

TEST_F(RunAcquisitionTest, CardBufferOverflowIsCountedPerLine) {
    card->SetOverflow(true);
    const runtest::Outcome outcome = Run(Settings(2));
    EXPECT_EQ(outcome.exitCode, kExitSuccess);
    EXPECT_THAT(outcome.err, ::testing::HasSubstr(
                                 "Sampling Lines counter: -1\nWarning: samples were lost between "
                                 "lines in 2 of 2 lines (card buffer overflow or sampling "
                                 "restart).\nSaving Data,Please Waiting\n"));
    EXPECT_EQ(Rows(Read("scan.txt")), 2u * 5000);
}

TEST_F(RunAcquisitionTest, ReadFailureInTheLoopSavesTheLinesBeforeItAndFails) {
    card->FailFrom(kControlBlockRead, 1 + 3);  // calibration, lines 0 and 1, then line 2 fails
    const runtest::Outcome outcome = Run(Settings(5));
    EXPECT_EQ(outcome.exitCode, kExitRunFailed);
    EXPECT_EQ(outcome.out, "ERROR: Buffer overflow flag not getting set.\n");
    EXPECT_EQ(outcome.err, std::string(kUpToSampling) + "Saving Data,Please Waiting\n" +
                               Saved(2, "scan.txt"));
    EXPECT_EQ(Rows(Read("scan.txt")), 2u * 5000);
    EXPECT_TRUE(InOrder({"write 0003=00FF", "write 0003=0000", "serial close", "card closed"}));
    EXPECT_LT(FindLast("serial close"), Find("card closed"));
}

TEST_F(RunAcquisitionTest, InvalidFirstSampleEndsTheLoopAndTheLineIsNotKept) {
    alterLine = [](int line, std::vector<RawSample>& samples) {
        if (line == 1) samples.front().rangeWord |= kRangeInvalidBit;
        if (line == 0) samples[1].rangeWord |= kRangeInvalidBit;  // not the first: not tested
    };
    const runtest::Outcome outcome = Run(Settings(5));
    EXPECT_EQ(outcome.exitCode, kExitRunFailed);
    EXPECT_EQ(outcome.out, "ERROR: Sample measurement timeout!\n");
    EXPECT_EQ(outcome.err, std::string(kUpToSampling) + "Saving Data,Please Waiting\n" +
                               Saved(1, "scan.txt"));
    EXPECT_EQ(Rows(Read("scan.txt")), 1u * 5000);
    EXPECT_EQ(Count("write 0003=0000"), 1u);
    EXPECT_EQ(card->OpenDevices(), 0);
}

TEST_F(RunAcquisitionTest, LoopFailureBeforeAnyLineLeavesAnExistingFileUntouched) {
    { std::ofstream("scan.txt") << "previous scan"; }
    card->FailFrom(kControlBlockRead, 2);
    const runtest::Outcome outcome = Run(Settings(5));
    EXPECT_EQ(outcome.exitCode, kExitRunFailed);
    EXPECT_EQ(outcome.out, "ERROR: Buffer overflow flag not getting set.\n");
    EXPECT_EQ(outcome.err, kUpToSampling);
    EXPECT_EQ(Read("scan.txt"), "previous scan");
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt"));
    EXPECT_EQ(Count("write 0003=0000"), 1u);  // the motor is stopped all the same
    EXPECT_EQ(Count("serial close"), 1u);
    EXPECT_EQ(card->OpenDevices(), 0);
}

// One row per failing step before sampling: its message, its stream, what was
// opened and closed, and that no file is left behind.
struct EarlyFailure {
    const char* name;
    std::function<void(RunFixture&, RunSettings&)> arrange;
    const char* out;
    const char* err;
    bool linkClosed;
    int cardsOpened;
};

void PrintTo(const EarlyFailure& row, std::ostream* os) { *os << row.name; }

class EarlyFailureTest : public RunFixture,
                         public ::testing::WithParamInterface<EarlyFailure> {};

TEST_P(EarlyFailureTest, ReportsReleasesAndLeavesNoFile) {
    const EarlyFailure& row = GetParam();
    { std::ofstream("scan.txt") << "previous scan"; }
    RunSettings settings = Settings(3);
    row.arrange(*this, settings);
    const runtest::Outcome outcome = Run(settings);

    EXPECT_EQ(outcome.exitCode, kExitRunFailed);
    EXPECT_EQ(outcome.out, row.out);
    std::string err = row.err;
    if (err.ends_with("@LOOKUP_MISSING@")) {  // names the working directory's file
        err.replace(err.size() - 16, 16,
                    transcript::LookupCause(std::filesystem::current_path().string(),
                                            "no such file or directory"));
    }
    EXPECT_EQ(outcome.err, err);
    EXPECT_EQ(Read("scan.txt"), "previous scan");
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt"));
    EXPECT_EQ(Count("serial close"), row.linkClosed ? 1u : 0u);
    EXPECT_EQ(card->devicesOpened, row.cardsOpened);
    EXPECT_EQ(card->OpenDevices(), 0);
    EXPECT_EQ(Count("write 0003=00FF"), 0u);  // the motor was never started
    EXPECT_EQ(Count("pause 1000"), 0u);
    if (row.linkClosed && row.cardsOpened > 0) {
        EXPECT_LT(FindLast("serial close"), Find("card closed"));
    }
}

const char kConfiguring[] =
    "Opened high speed interface.\nVEAX Card Calibration\nSamplingModeInit\n";

INSTANTIATE_TEST_SUITE_P(
    EveryEarlyStep, EarlyFailureTest,
    ::testing::Values(
        EarlyFailure{"NoLaser", [](RunFixture& f, RunSettings&) { f.noLaser = true; }, "",
                     "Error: Serial Comm port open failed.\n", false, 0},
        EarlyFailure{"NoLaserWithHint",
                     [](RunFixture& f, RunSettings&) {
                         f.noLaser = true;
                         f.laserHint = "Set VELSCAN_LASER.";
                     },
                     "", "Error: Serial Comm port open failed.\nSet VELSCAN_LASER.\n", false, 0},
        EarlyFailure{"NoCard",
                     [](RunFixture& f, RunSettings&) {
                         f.noCard = true;
                         f.cardHint = "Set VELSCAN_CARD.\n";
                     },
                     "",
                     "Opened high speed interface.\nError: VexaOpen failed.\nSet VELSCAN_CARD.\n",
                     true, 0},
        EarlyFailure{"NoLaserSaysWhy",
                     [](RunFixture& f, RunSettings&) {
                         f.noLaser = true;
                         f.laserFailure = "/dev/pts/9: No such file or directory";
                         f.laserHint = "Set VELSCAN_LASER.\n";
                     },
                     "",
                     "Error: Serial Comm port open failed.\n"
                     "Cause: /dev/pts/9: No such file or directory\nSet VELSCAN_LASER.\n",
                     false, 0},
        EarlyFailure{"NoCardSaysWhy",
                     [](RunFixture& f, RunSettings&) {
                         f.noCard = true;
                         f.cardFailure = "simulated fault no-card";
                     },
                     "",
                     "Opened high speed interface.\nError: VexaOpen failed.\n"
                     "Cause: simulated fault no-card\n",
                     true, 0},
        EarlyFailure{"Reset",
                     [](RunFixture& f, RunSettings&) { f.card->FailFrom(kControlBoardReset, 2); },
                     "", "Opened high speed interface.\nError: VexaResetBoard failed.\n", true, 1},
        EarlyFailure{"Calibration",
                     [](RunFixture& f, RunSettings&) {
                         f.card->deliveries.clear();
                         f.card->Deliver(std::vector<RawSample>(20, RawSample{0, 0, 0, 599}));
                     },
                     "", "Opened high speed interface.\nVEAX Card Calibration\n"
                         "Error: Could not get calibration value\n",
                     true, 1},
        EarlyFailure{"EncoderClear",
                     [](RunFixture& f, RunSettings&) { f.card->FailAlways(kControlEncoder); }, "",
                     "Opened high speed interface.\nVEAX Card Calibration\nSamplingModeInit\n"
                     "Error: Failed to clear encoder1\n",
                     true, 1},
        EarlyFailure{"LookupFile",
                     [](RunFixture&, RunSettings&) { std::filesystem::remove("LOOKUPHS"); },
                     "ERROR: Could not read calibration file\n",
                     "Opened high speed interface.\nVEAX Card Calibration\nSamplingModeInit\n"
                     "@LOOKUP_MISSING@",
                     true, 1},
        EarlyFailure{"SamplePeriod", [](RunFixture&, RunSettings& s) { s.samplePeriod = 19; },
                     "", "Opened high speed interface.\nVEAX Card Calibration\nSamplingModeInit\n"
                         "Error: Failed to set sample and range\n",
                     true, 1}),
    [](const ::testing::TestParamInfo<EarlyFailure>& info) { return info.param.name; });

TEST_F(RunAcquisitionTest, AnOutputFileThatCannotBeCreatedStopsBeforeAnyHardware) {
    const runtest::Outcome missingDirectory = Run(Settings(3, "no/such/dir/scan.txt"));
    EXPECT_EQ(missingDirectory.exitCode, kExitRunFailed);
    EXPECT_EQ(missingDirectory.out, "");
    EXPECT_EQ(missingDirectory.err, "Error: Can't create the file no/such/dir/scan.txt\n");

    std::filesystem::create_directory("folder");
    const runtest::Outcome directory = Run(Settings(3, "folder"));
    EXPECT_EQ(directory.exitCode, kExitRunFailed);
    EXPECT_EQ(directory.err, "Error: Can't create the file folder\n");

    EXPECT_THAT(*events, IsEmpty());
    EXPECT_THAT(OtherFiles(), ElementsAre("folder"));
}

// The table and its metadata file are put in place together or not at all.
// A metadata target made a folder with content during the run is found
// before the table is replaced: the earlier table stays, and the finished
// one, the only copy of the scan, is kept and named. A metadata file that
// cannot be written (a link to a full device) is named with the reason, and
// nothing unfinished is left.
TEST_F(RunAcquisitionTest, AMetadataTargetMadeAFolderDuringTheRunKeepsTheEarlierTable) {
    { std::ofstream("scan.txt") << "previous scan"; }
    onLineRead = [](int line) {
        if (line == 1) std::filesystem::create_directories("scan.txt.json/inside");
    };
    const runtest::Outcome folder = Run(Settings(2));
    EXPECT_EQ(folder.exitCode, kExitRunFailed);
    EXPECT_EQ(Read("scan.txt"), "previous scan");
    const std::vector<std::string> left = OtherFiles();
    ASSERT_EQ(left.size(), 3u);
    const std::string& kept = left[0];
    EXPECT_TRUE(kept.starts_with(".velscan.") && kept.ends_with(".tmp")) << kept;
    EXPECT_EQ(Rows(Read(kept)), 2u * 5000);
    EXPECT_EQ(folder.err, Finished(-1) + "Error: Can't replace the file scan.txt.json: Is a "
                                        "directory; the table is kept in " + kept + "\n");
}

// A motor the card does not start (the card refuses its number) would leave
// the mirror standing while the run records: the run ends before the wait.
TEST_F(RunAcquisitionTest, AMotorThatCannotStartEndsTheRunBeforeTheMirrorWait) {
    RunSettings settings = Settings(1);
    settings.motorNumber = 3;
    const runtest::Outcome outcome = Run(settings);
    EXPECT_EQ(outcome.exitCode, kExitRunFailed);
    EXPECT_TRUE(outcome.err.ends_with("SamplingModeInit\nError: the card refused to start the mirror's motor\n"))
        << outcome.err;
    EXPECT_EQ(Count("write 0003=0000") + Count("write 0003=00FF"), 0u);
    EXPECT_THAT(OtherFiles(), ::testing::IsEmpty());
}

TEST_F(RunAcquisitionTest, ASecondRunInTheSameProcessReplacesTheTable) {
    ASSERT_EQ(Run(Settings(2)).exitCode, kExitSuccess);
    card->Deliver(std::vector<RawSample>(20, RawSample{0, 0, 0, 800}));
    const runtest::Outcome again = Run(Settings(1));
    EXPECT_EQ(again.exitCode, kExitSuccess);
    EXPECT_EQ(Rows(Read("scan.txt")), 5000u);
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt", "scan.txt.json"));
}

// ---- Stops during the configuration ---------------------------------------

// One row per moment a stop request comes: the run ends at the next step,
// the motor is never started, link and card are closed, nothing is written.
struct ConfigurationStop {
    const char* name;
    const char* requestAt;  // the event after which the request arrives
    const char* err;
    int cardsOpened;
};

void PrintTo(const ConfigurationStop& row, std::ostream* os) { *os << row.name; }

class ConfigurationStopTest : public RunFixture,
                              public ::testing::WithParamInterface<ConfigurationStop> {};

TEST_P(ConfigurationStopTest, EndsAtTheNextStepWithoutStartingTheMotor) {
    const ConfigurationStop& row = GetParam();
    { std::ofstream("scan.txt") << "previous scan"; }
    std::size_t requestedAt = 0;
    events->onEvent = [this, &row, &requestedAt](const std::string& event) {
        if (event != row.requestAt || requestedAt != 0) return;
        requestedAt = events->size() + 1;
        platform::RequestInterrupt();
    };
    const runtest::Outcome outcome = Run(Settings(3));

    EXPECT_EQ(outcome.exitCode, kExitStoppedBeforeSampling);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, row.err);
    ASSERT_NE(requestedAt, 0u);
    EXPECT_EQ(Count("write 0003=00FF"), 0u);
    // Every pause after the request passed at once.
    for (std::size_t i = requestedAt; i < events->size(); ++i)
        EXPECT_FALSE((*events)[i].starts_with("pause ")) << (*events)[i];
    EXPECT_EQ(card->devicesOpened, row.cardsOpened);
    EXPECT_EQ(Count("serial close"), 1u);
    EXPECT_EQ(card->OpenDevices(), 0);
    EXPECT_EQ(Read("scan.txt"), "previous scan");
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    EveryPhaseOfTheConfiguration, ConfigurationStopTest,
    ::testing::Values(
        ConfigurationStop{"DuringTheGreeting", "serial write I",
                          "Opened high speed interface.\n"
                          "Stopped before sampling; nothing was recorded.\n",
                          0},
        ConfigurationStop{"DuringCalibration", "switch 1",
                          "Opened high speed interface.\nVEAX Card Calibration\n"
                          "Stopped before sampling; nothing was recorded.\n",
                          1},
        ConfigurationStop{"JustBeforeTheMotorStarts", "serial write F650\n",
                          "Opened high speed interface.\nVEAX Card Calibration\nSamplingModeInit\n"
                          "Stopped before sampling; nothing was recorded.\n",
                          1}),
    [](const ::testing::TestParamInfo<ConfigurationStop>& info) { return info.param.name; });

// ---- The capture is finished on every way out ------------------------------

constexpr char kCaptureProblem[] =
    "Error: the capture file cap.bin could not be written completely: File too large\n";

struct WayOut {
    const char* name;
    std::function<void(RunFixture&, RunSettings&)> arrange;
    int exitCodeWithoutTheCapture;
};

void PrintTo(const WayOut& row, std::ostream* os) { *os << row.name; }

class CaptureReportTest : public RunFixture, public ::testing::WithParamInterface<WayOut> {};

TEST_P(CaptureReportTest, ACaptureThatCouldNotBeWrittenIsReportedLastAndFailsTheRun) {
    const WayOut& row = GetParam();
    RunSettings settings = Settings(2);
    row.arrange(*this, settings);
    int finished = 0;
    finishCapture = [&finished] {
        ++finished;
        return std::string(kCaptureProblem);
    };
    const runtest::Outcome outcome = Run(settings);

    EXPECT_EQ(finished, 1);
    // Last but for the line that names a saved table.
    std::string err = outcome.err;
    if (const auto saved = err.rfind("Saved "); saved != std::string::npos &&
                                                err.find('\n', saved) == err.size() - 1)
        err.erase(saved);
    EXPECT_TRUE(err.ends_with(kCaptureProblem)) << outcome.err;
    if (row.exitCodeWithoutTheCapture < 0) {
        EXPECT_EQ(outcome.exception, "lost the card") << outcome.err;
    } else {
        EXPECT_EQ(outcome.exitCode, kExitRunFailed);
    }
    EXPECT_LE(Count("serial close"), 1u);
    EXPECT_EQ(card->OpenDevices(), 0);
    if (Count("write 0003=00FF") == 1) {
        EXPECT_EQ(Count("write 0003=0000"), 1u);  // a started motor is stopped
    }
}

TEST_P(CaptureReportTest, ACompleteCaptureAddsNothing) {
    const WayOut& row = GetParam();
    RunSettings settings = Settings(2);
    row.arrange(*this, settings);
    int finished = 0;
    finishCapture = [&finished] {
        ++finished;
        return std::string();
    };
    const runtest::Outcome outcome = Run(settings);
    EXPECT_EQ(finished, 1);
    if (row.exitCodeWithoutTheCapture < 0) {
        EXPECT_EQ(outcome.exception, "lost the card") << outcome.err;  // no exit code
    } else {
        EXPECT_EQ(outcome.exitCode, row.exitCodeWithoutTheCapture) << outcome.err;
    }
    EXPECT_EQ(outcome.err.find("capture"), std::string::npos) << outcome.err;
}

INSTANTIATE_TEST_SUITE_P(
    EveryWayOut, CaptureReportTest,
    ::testing::Values(
        WayOut{"Complete", [](RunFixture&, RunSettings&) {}, kExitSuccess},
        WayOut{"OutputCannotBeCreated",
               [](RunFixture&, RunSettings& s) {
                   std::filesystem::create_directory("folder");
                   s.outputFileName = "folder";
               },
               kExitRunFailed},
        WayOut{"NoLaser", [](RunFixture& f, RunSettings&) { f.noLaser = true; }, kExitRunFailed},
        WayOut{"NoCard", [](RunFixture& f, RunSettings&) { f.noCard = true; }, kExitRunFailed},
        WayOut{"EncoderClearFails",
               [](RunFixture& f, RunSettings&) { f.card->FailAlways(kControlEncoder); },
               kExitRunFailed},
        WayOut{"SampleAndRangeFails", [](RunFixture&, RunSettings& s) { s.samplePeriod = 19; },
               kExitRunFailed},
        WayOut{"StopDuringConfiguration",
               [](RunFixture& f, RunSettings&) {
                   f.events->onEvent = [](const std::string& event) {
                       if (event == "switch 1") platform::RequestInterrupt();
                   };
               },
               kExitStoppedBeforeSampling},
        WayOut{"ReadFailsAtOnce",
               [](RunFixture& f, RunSettings&) { f.card->FailFrom(kControlBlockRead, 2); },
               kExitRunFailed},
        WayOut{"ReadFailsAfterALine",
               [](RunFixture& f, RunSettings&) { f.card->FailFrom(kControlBlockRead, 3); },
               kExitRunFailed},
        WayOut{"MotorStopFails",
               [](RunFixture& f, RunSettings&) {
                   // The 24th register write is the motor's stop (11 + 11 for
                   // the tables, then the start).
                   f.card->FailFrom(kControlRegisterWrite, 24);
               },
               kExitRunFailed},
        WayOut{"Exception",
               [](RunFixture& f, RunSettings&) {
                   f.events->onEvent = [](const std::string& event) {
                       if (event == "enable1") throw std::runtime_error("lost the card");
                   };
               },
               -1}),
    [](const ::testing::TestParamInfo<WayOut>& info) { return info.param.name; });

// ---- A second stop before the table is saved --------------------------------

using RunAcquisitionDeathTest = RunFixture;

TEST_F(RunAcquisitionDeathTest, ASecondStopBeforeTheSaveEndsAtOnceWithLinkAndCardClosed) {
    { std::ofstream("scan.txt") << "previous scan"; }
    EXPECT_EXIT(
        {
            events->onEvent = [](const std::string& event) {
                // Both requests come with the motor's stop, after the last line.
                if (event == "write 0003=0000") {
                    platform::RequestInterrupt();
                    platform::RequestInterrupt();
                }
                if (event == "serial close" || event == "card closed")
                    std::fprintf(stderr, "[%s]", event.c_str());
            };
            (void)RunUncaptured(Settings(2));
            std::fputs("[returned]", stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(kExitRunFailed), "\\[serial close\\]\\[card closed\\]$");
    EXPECT_EQ(Read("scan.txt"), "previous scan");
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt"));
}

TEST_F(RunAcquisitionDeathTest, ASecondStopDuringTheConfigurationEndsAtOnceWithoutTheMotor) {
    { std::ofstream("scan.txt") << "previous scan"; }
    EXPECT_EXIT(
        {
            events->onEvent = [](const std::string& event) {
                if (event == "switch 1") {
                    platform::RequestInterrupt();
                    platform::RequestInterrupt();
                }
                if (event == "serial close" || event == "card closed" ||
                    event == "write 0003=00FF")
                    std::fprintf(stderr, "[%s]", event.c_str());
            };
            (void)RunUncaptured(Settings(2));
            std::fputs("[returned]", stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(kExitRunFailed),
        "VEAX Card Calibration\n\\[serial close\\]\\[card closed\\]$");
    EXPECT_EQ(Read("scan.txt"), "previous scan");
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt"));
}

}  // namespace
}  // namespace velscan
