// A console that is gone, a termination signal, a stop during the mirror's
// run-up and a motor that does not stop: the scan is saved or the existing
// file kept, the motor stopped (or the operator warned), link and card closed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "velscan_fixture.hpp"

namespace velscan::e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

using SignalsAndPipesTest = VelscanFixture;

TEST_F(SignalsAndPipesTest, AConsoleThatIsGoneNeverCostsTheScan) {
    ProgramRun run;
    run.arguments = {"scan.txt", "-l", "5"};
    run.environment = {{"VELSCAN_SIM", "1"},
                       {"VELSCAN_CLOCK", "virtual"},
                       {"VELSCAN_TRACE", (Work() / "trace").string()}};
    run.workingDirectory = Work();
    run.closedStreams = true;
    const ProgramResult result = Execute(VELSCAN_BINARY, run);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Rows(Table()), 5u * 5000);
    EXPECT_THAT(OtherFiles(),
                ElementsAre("scan.txt", "scan.txt.capture", "scan.txt.capture.json", "scan.txt.json", "trace"));
    const SeamTrace trace = ReadSeamTrace(Work() / "trace");
    EXPECT_TRUE(trace.MotorStopped());
    EXPECT_TRUE(trace.linkClosedBeforeBoard);
}

TEST_F(SignalsAndPipesTest, ClosedStandardStreamsNeverPutConsoleLinesIntoTheFiles) {
    // A launcher may start the program with standard streams closed; a file
    // opened then would take a closed stream's number and get its lines.
    const std::vector<std::vector<int>> cases{{2}, {1}, {0, 1, 2}};
    for (const std::vector<int>& closed : cases) {
        SCOPED_TRACE(::testing::PrintToString(closed));
        for (const char* name : {"scan.txt", "raw.bin", "trace"}) fs::remove(Work() / name);
        ProgramRun run;
        // An invalid first sample in line 1 gives a line for standard output too.
        run.arguments = {"scan.txt", "-l", "2"};
        run.environment = {{"VELSCAN_SIM", "1"},
                           {"VELSCAN_CLOCK", "virtual"},
                           {"VELSCAN_SIM_FAULTS", "invalid@1"},
                           {"VELSCAN_CAPTURE", "raw.bin"},
                           {"VELSCAN_TRACE", (Work() / "trace").string()}};
        run.workingDirectory = Work();
        run.closedDescriptors = closed;
        const ProgramResult result = Execute(VELSCAN_BINARY, run);
        EXPECT_EQ(result.exitCode, 3);
        const std::string table = Table();
        EXPECT_TRUE(table.starts_with(kHeader)) << table.substr(0, 80);
        EXPECT_EQ(Rows(table), 5000u);
        const std::string capture = ReadFile(Work() / "raw.bin");
        EXPECT_EQ(capture.size() % 16, 0u);
        EXPECT_EQ(capture.find("Opened high speed interface."), std::string::npos);
        const std::string trace = ReadFile(Work() / "trace");
        EXPECT_EQ(trace.find("Opened high speed interface."), std::string::npos);
        EXPECT_EQ(trace.find("ERROR:"), std::string::npos);
        EXPECT_TRUE(ReadSeamTrace(Work() / "trace").MotorStopped());
    }
}

// A stop during a line that lasts 10 s (-s 2000) drops that line; when it is
// the first, nothing was recorded and the previous scan stays in place.
TEST_F(SignalsAndPipesTest, TerminationSignalsStopLikeCtrlCAndBeforeTheFirstLineKeepTheOldScan) {
    // In real time, so the signal surely lands inside the first line (10 s
    // at -s 2000); in virtual time that line takes milliseconds and a loaded
    // machine may deliver the signal after it. The four runs go side by
    // side, each with its own table and trace, so the mirror's run-up is
    // waited for once.
    const std::vector<int> signals{SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    const auto table = [](std::size_t i) { return "scan" + std::to_string(i) + ".txt"; };
    const auto trace = [this](std::size_t i) { return Work() / ("trace" + std::to_string(i)); };
    std::vector<std::unique_ptr<RunningProgram>> programs;
    std::vector<std::string> expectedFiles;
    for (std::size_t i = 0; i < signals.size(); ++i) {
        { std::ofstream(Work() / table(i)) << "PREVIOUS SCAN"; }
        programs.push_back(Start({table(i), "-s", "2000"},
                                 {{"VELSCAN_CLOCK", "real"}, {"VELSCAN_TRACE", trace(i).string()}}));
        // Sampling had started: the capture of the part line stays.
        for (const char* suffix : {"", ".capture", ".capture.json"}) expectedFiles.push_back(table(i) + suffix);
        expectedFiles.push_back(trace(i).filename().string());
    }
    for (std::size_t i = 0; i < signals.size(); ++i) {
        ASSERT_TRUE(programs[i]->WaitForError("Begin sampling\n"));
        programs[i]->Signal(signals[i]);
    }
    for (std::size_t i = 0; i < signals.size(); ++i) {
        SCOPED_TRACE(signals[i]);
        const ProgramResult result = programs[i]->Wait();
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exitCode, 4) << result.err;
        EXPECT_TRUE(result.err.ends_with(
            "End sampling\nSampling Lines counter: 200\n"
            "Stopped before the first line was complete; nothing was recorded.\n"))
            << result.err;
        EXPECT_EQ(Table(table(i).c_str()), "PREVIOUS SCAN");
        const SeamTrace seams = ReadSeamTrace(trace(i));
        EXPECT_TRUE(seams.MotorStopped());
        EXPECT_TRUE(seams.linkClosedBeforeBoard);
    }
    std::sort(expectedFiles.begin(), expectedFiles.end());
    EXPECT_EQ(OtherFiles(), expectedFiles);
}

TEST_F(SignalsAndPipesTest, AStopDuringTheMirrorsRunUpEndsAtOnceAndReplacesNothing) {
    { std::ofstream(Work() / "scan.txt") << "previous scan"; }
    { std::ofstream(Work() / "scan.txt.capture") << "previous capture"; }
    const auto program = Start({"scan.txt"}, {{"VELSCAN_CLOCK", "real"}});
    ASSERT_TRUE(program->WaitForError("Waiting (20 sec.) for mirror to move\n"));
    program->Signal(SIGTERM);
    const ProgramResult result = program->Wait();
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_TRUE(result.err.ends_with("Waiting (20 sec.) for mirror to move\n"
                                     "Stopped before sampling; nothing was recorded.\n"))
        << result.err;
    EXPECT_EQ(Table(), "previous scan");
    // The capture is made only when sampling starts: the earlier one stays.
    EXPECT_EQ(Table("scan.txt.capture"), "previous capture");
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt", "scan.txt.capture"));
    const SeamTrace trace = Trace();
    EXPECT_THAT(trace.motorRegister, ElementsAre(0x00FFu, 0x0000u));
    EXPECT_TRUE(trace.linkClosedBeforeBoard);
}

TEST_F(SignalsAndPipesTest, AForcedEndStillStopsTheMotorAndClosesLinkAndCard) {
    // A second request ends the program at once, during the mirror's run-up
    // (real time here), leaving the existing file as it was and no unfinished
    // file behind.
    { std::ofstream(Work() / "scan.txt") << "previous scan"; }
    const auto program = Start({"scan.txt"}, {{"VELSCAN_CLOCK", "real"}});
    ASSERT_TRUE(program->WaitForError("Waiting (20 sec.) for mirror to move\n"));
    program->SignalTogether({SIGINT, SIGTERM});
    const ProgramResult result = program->Wait();
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(result.err.ends_with("Waiting (20 sec.) for mirror to move\n")) << result.err;
    EXPECT_EQ(Table(), "previous scan");
    EXPECT_THAT(OtherFiles(), ::testing::ElementsAre("scan.txt"));
    const SeamTrace trace = Trace();
    EXPECT_TRUE(trace.MotorStopped());
    EXPECT_TRUE(trace.linkClosedBeforeBoard);
}

// The 23rd issue is the motor's start: a mirror the card did not start is
// never recorded, and a stop is not sent for it.
TEST_F(SignalsAndPipesTest, AMotorTheCardDidNotStartEndsTheRunBeforeTheMirrorWait) {
    const ProgramResult result =
        Velscan({"scan.txt", "-l", "2"}, {{"VELSCAN_SIM_FAULTS", "fail=0x9c40202c@23"}});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(result.err.ends_with("SamplingModeInit\nError: the card refused to start the mirror's motor\n"))
        << result.err;
    EXPECT_THAT(OtherFiles(), ::testing::IsEmpty());
    EXPECT_TRUE(Trace().cardClosed);
}

TEST_F(SignalsAndPipesTest, AFailedMotorStopIsReportedAndTheTableStillSaved) {
    // The register write's 24th issue is the motor stop: 11 + 11 table writes
    // for calibration and sampling, then the motor's start.
    const ProgramResult result =
        Velscan({"scan.txt", "-l", "2"}, {{"VELSCAN_SIM_FAULTS", "fail=0x9c40202c@24"}});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err,
              Finished(-1, "Warning: the motor stop failed; the mirror may still be turning.\n") +
                  Saved(2, "scan.txt"));
    EXPECT_EQ(Rows(Table()), 2u * 5000);
    EXPECT_TRUE(Trace().cardClosed);
}

// A file-size limit (as "ulimit -f 100" sets it) with SIGXFSZ at its default:
// the writes fail instead of the program dying, and the run takes its failure
// path: motor stopped, link and card closed, no unfinished file, exit 3.
TEST_F(SignalsAndPipesTest, AFileSizeLimitFailsTheWritesInsteadOfEndingTheProgram) {
    const ProgramResult result = Velscan({"scan.txt", "-l", "3"}, {{"VELSCAN_CAPTURE", "cap.bin"}},
                                         std::nullopt, 100 * 1024);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err,
              Finished(-1) + "Error: Can't write the measurement file\n"
                             "Error: the capture file cap.bin could not be written completely: "
                             "File too large\n");
    // The capture's metadata file as it was put in place before sampling:
    // the capture, cut by the limit, can be converted as far as it came.
    EXPECT_THAT(OtherFiles(), ElementsAre("cap.bin", "cap.bin.json"));
    const SeamTrace trace = Trace();
    EXPECT_TRUE(trace.MotorStopped());
    EXPECT_TRUE(trace.linkClosedBeforeBoard);
}

TEST_F(SignalsAndPipesTest, AConfigurationFailureStillReportsACaptureThatCouldNotBeWritten) {
    // 256 bytes hold the console lines but not the 20 calibration records (320
    // bytes); the trace is cut short too, so only the console tells.
    const ProgramResult result =
        Velscan({"scan.txt", "-l", "1"},
                {{"VELSCAN_CAPTURE", "cap.bin"}, {"VELSCAN_SIM_FAULTS", "fail=0x9c40200c"}},
                std::nullopt, 256);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(result.err.ends_with(
        "Error: Failed to clear encoder1\n"
        "Error: the capture file cap.bin could not be written completely: File too large\n"))
        << result.err;
    EXPECT_THAT(OtherFiles(), ElementsAre("cap.bin"));
}

// The calibration alone pauses for more than a second and a half in real
// time: a stop during it ends the run at the next step, and the motor, which
// would come after the configuration, is never started.
TEST_F(SignalsAndPipesTest, AStopDuringTheConfigurationEndsItWithoutStartingTheMotor) {
    for (const int signal : {SIGINT, SIGTERM}) {
        { std::ofstream(Work() / "scan.txt") << "previous scan"; }
        const auto program = Start({"scan.txt"}, {{"VELSCAN_CLOCK", "real"}});
        ASSERT_TRUE(program->WaitForError("VEAX Card Calibration\n"));
        program->Signal(signal);
        const ProgramResult result = program->Wait();
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.exitCode, 4) << result.err;
        EXPECT_TRUE(result.err.ends_with("Stopped before sampling; nothing was recorded.\n"))
            << result.err;
        EXPECT_EQ(result.err.find("Waiting (20 sec.)"), std::string::npos) << result.err;
        EXPECT_EQ(Table(), "previous scan");
        EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt"));
        const SeamTrace trace = Trace();
        EXPECT_THAT(trace.motorRegister, ::testing::IsEmpty());
        EXPECT_TRUE(trace.linkClosedBeforeBoard);
    }
}

}  // namespace
}  // namespace velscan::e2e
