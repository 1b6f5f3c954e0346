#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "velscan_fixture.hpp"

namespace velscan::e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::MatchesRegex;

using VelscanTest = VelscanFixture;

TEST_F(VelscanTest, ACompleteDefaultRunRecordsTwoHundredLines) {
    const ProgramResult result = Velscan({"scan.txt"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, Finished(-1) + Saved(200, "scan.txt"));
    const std::string table = Table();
    EXPECT_TRUE(table.starts_with(kHeader));
    EXPECT_EQ(Rows(table), 1000000u);
    EXPECT_EQ(table.back(), '\t');
    // The table, its metadata file and the raw capture kept beside it.
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt", "scan.txt.capture", "scan.txt.capture.json", "scan.txt.json"));

    const SeamTrace trace = Trace();
    EXPECT_THAT(trace.serialWrites, ElementsAre("I", "DA1T2X3", "S20\\n", "F650\\n"));
    // The port's whole set-up and tear-down: DTR is raised only once the line
    // settings were taken, and lowered before the close.
    EXPECT_EQ(trace.serialCalls,
              (std::vector<std::string>{"open 1", "event mask 1", "queue sizes 4096 4096", "purge f",
                            "timeouts ffffffff 0 0 0 1000", "line settings 9600 8N1 ok",
                            "dtr raised", "purge f", "write I", "purge f", "write DA1T2X3",
                            "write S20\\n", "write F650\\n", "event mask 0", "dtr lowered",
                            "purge f", "close"}));
    EXPECT_THAT(trace.motorRegister, ElementsAre(0x00FFu, 0x0000u));
    EXPECT_TRUE(trace.serialClosed);
    EXPECT_TRUE(trace.cardClosed);
    EXPECT_TRUE(trace.linkClosedBeforeBoard);
}

TEST_F(VelscanTest, LineCountsFromTheCommandLine) {
    const ProgramResult none = Velscan({"none.txt", "-l", "0"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.err, Finished(-1) + Saved(0, "none.txt"));
    EXPECT_EQ(Table("none.txt"), kHeader);  // heading only, no line break

    const ProgramResult three =
        Velscan({"three.txt", "-l", "3", "-s", "40", "-r", "300", "-p", "128"});
    EXPECT_EQ(three.exitCode, 0);
    EXPECT_THAT(Trace().serialWrites, ElementsAre("I", "DA1T2X3", "S40\\n", "F300\\n"));
    EXPECT_THAT(Trace().motorRegister, ElementsAre(0x0080u, 0x0000u));
    EXPECT_EQ(three.err, Finished(-1) + Saved(3, "three.txt"));
    EXPECT_EQ(Rows(Table("three.txt")), 15000u);

    const ProgramResult tooMany = Velscan({"many.txt", "-l", "201"});
    EXPECT_EQ(tooMany.exitCode, 2);
    EXPECT_EQ(tooMany.err, "Error: lines must be from 0 to 200\n");
    EXPECT_THAT(OtherFiles(), ElementsAre("none.txt", "none.txt.capture", "none.txt.capture.json", "none.txt.json",
                                          "three.txt", "three.txt.capture", "three.txt.capture.json",
                                          "three.txt.json"));
}

// The capture beside the table: turned off by VELSCAN_CAPTURE=off, checked
// against the files the run reads, and replaced by the next run that samples.
TEST_F(VelscanTest, TheCaptureBesideTheTableCanBeTurnedOffAndNeverOverwritesAnInput) {
    const ProgramResult off = Velscan({"scan.txt", "-l", "1"}, {{"VELSCAN_CAPTURE", "off"}});
    EXPECT_EQ(off.exitCode, 0) << off.err;
    EXPECT_EQ(off.err, Finished(-1) + Saved(1, "scan.txt"));
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt", "scan.txt.json"));

    std::filesystem::create_symlink("LOOKUPHS", Work() / "scan.txt.capture");
    const ProgramResult onLookup = Velscan({"scan.txt", "-l", "1"});
    EXPECT_EQ(onLookup.exitCode, 2);
    EXPECT_EQ(onLookup.err, "Error: the capture file scan.txt.capture and the lookup file LOOKUPHS are the same "
                            "file; the run would overwrite it.\n");
    std::filesystem::remove(Work() / "scan.txt.capture");

    { std::ofstream(Work() / "scan.txt.capture") << "earlier capture"; }
    const ProgramResult next = Velscan({"scan.txt", "-l", "2"});
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_EQ(std::filesystem::file_size(Work() / "scan.txt.capture"), (20u + 2u * 5000u) * 16u);
}

TEST_F(VelscanTest, TheStopKeyIsReadOnePerLine) {
    // Typed before sampling began: read after the first line.
    const ProgramResult first = Velscan({"first.txt"}, {}, "q");
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_EQ(first.err, Finished(199) + Saved(1, "first.txt"));
    EXPECT_EQ(Rows(Table("first.txt")), 5000u);

    // Two other keys first: the q is read after the third line.
    const ProgramResult third = Velscan({"third.txt"}, {}, "aQq");
    EXPECT_EQ(third.exitCode, 0);
    EXPECT_EQ(third.err, Finished(197) + Saved(3, "third.txt"));
    EXPECT_EQ(Rows(Table("third.txt")), 15000u);

    // The upper-case Q does not stop a run.
    const ProgramResult upper = Velscan({"upper.txt", "-l", "4"}, {}, "QQQQQ");
    EXPECT_EQ(upper.exitCode, 0);
    EXPECT_EQ(upper.err, Finished(-1) + Saved(4, "upper.txt"));
    EXPECT_EQ(Rows(Table("upper.txt")), 20000u);
}

// A failure before sampling: its message on its stream, exit code 3, and an
// existing file of the target's name left as it was, with nothing beside it.
struct EarlyFailure {
    const char* name;
    const char* faults;             // VELSCAN_SIM_FAULTS; null: none
    std::vector<std::string> options;
    bool removeLookupFile;
    const char* out;
    const char* err;
    bool greeted;  // the range finder received "I" (the port was opened)
    bool cardOpened;
};

void PrintTo(const EarlyFailure& row, std::ostream* os) { *os << row.name; }

class EarlyFailureTest : public VelscanFixture,
                         public ::testing::WithParamInterface<EarlyFailure> {};

TEST_P(EarlyFailureTest, ReportsAndLeavesTheFileUntouched) {
    const EarlyFailure& row = GetParam();
    { std::ofstream(Work() / "scan.txt") << "previous scan"; }
    if (row.removeLookupFile) std::filesystem::remove(Work() / "LOOKUPHS");
    std::vector<std::string> arguments{"scan.txt"};
    arguments.insert(arguments.end(), row.options.begin(), row.options.end());
    std::map<std::string, std::string> environment;
    if (row.faults != nullptr) environment["VELSCAN_SIM_FAULTS"] = row.faults;

    const ProgramResult result = Velscan(arguments, environment);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, row.out);
    std::string err = row.err;
    if (row.removeLookupFile) {  // names the working directory's file
        err += transcript::LookupCause(std::filesystem::canonical(Work()).string(),
                                       "no such file or directory");
    }
    EXPECT_EQ(result.err, err);
    EXPECT_EQ(Table(), "previous scan");
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt"));

    // Only the greeting reached the range finder, the motor was never
    // started, and whatever was opened was closed, the link first.
    const SeamTrace trace = Trace();
    if (row.greeted) {
        EXPECT_THAT(trace.serialWrites, ElementsAre("I"));
    } else {
        EXPECT_THAT(trace.serialWrites, IsEmpty());
    }
    EXPECT_THAT(trace.motorRegister, IsEmpty());
    EXPECT_EQ(trace.serialClosed, trace.serialOpened);
    EXPECT_EQ(trace.cardOpened, row.cardOpened);
    EXPECT_EQ(trace.cardClosed, row.cardOpened);
    // VexaOpen closes a card whose reset fails itself; otherwise the run's
    // clean-up closes the link first.
    if (row.cardOpened && std::string(row.name) != "ResetInsideOpen") {
        EXPECT_TRUE(trace.linkClosedBeforeBoard);
    }
}

constexpr char kConfiguring[] =
    "Opened high speed interface.\nVEAX Card Calibration\nSamplingModeInit\n";

INSTANTIATE_TEST_SUITE_P(
    EveryEarlyStep, EarlyFailureTest,
    ::testing::Values(
        // A failed open is followed by its cause.
        EarlyFailure{"NoLaser", "no-laser", {}, false, "",
                     "Error: Serial Comm port open failed.\nCause: simulated fault no-laser\n",
                     false, false},
        EarlyFailure{"NoCard", "no-card", {}, false, "",
                     "Opened high speed interface.\nError: VexaOpen failed.\n"
                     "Cause: simulated fault no-card\n",
                     true, false},
        EarlyFailure{"ResetInsideOpen", "fail=0x9c402000", {}, false, "",
                     "Opened high speed interface.\nError: VexaOpen failed.\n", true, true},
        EarlyFailure{"Reset", "fail=0x9c402000@2", {}, false, "",
                     "Opened high speed interface.\nError: VexaResetBoard failed.\n", true, true},
        EarlyFailure{"CalibrationValue", "calibration=599", {}, false, "",
                     "Opened high speed interface.\nVEAX Card Calibration\n"
                     "Error: Could not get calibration value\n",
                     true, true},
        EarlyFailure{"CalibrationSilent", "calibration-silent", {}, false, "",
                     "Opened high speed interface.\nVEAX Card Calibration\n"
                     "Error: Could not get calibration value\n",
                     true, true},
        EarlyFailure{"EncoderClear", "fail=0x9c40200c", {}, false, "",
                     "Opened high speed interface.\nVEAX Card Calibration\nSamplingModeInit\n"
                     "Error: Failed to clear encoder1\n",
                     true, true},
        EarlyFailure{"LookupFileMissing", nullptr, {}, true,
                     "ERROR: Could not read calibration file\n", kConfiguring, true, true}),
    [](const ::testing::TestParamInfo<EarlyFailure>& info) { return info.param.name; });

TEST_F(VelscanTest, AReadThatNeverCompletesSavesTheLinesBeforeIt) {
    const ProgramResult result =
        Velscan({"scan.txt", "-l", "5"}, {{"VELSCAN_SIM_FAULTS", "stall@2"}});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, "ERROR: Buffer overflow flag not getting set.\n");
    EXPECT_EQ(result.err,
              std::string(kUpToSampling) + "Saving Data,Please Waiting\n" + Saved(2, "scan.txt"));
    EXPECT_EQ(Rows(Table()), 2u * 5000);
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt", "scan.txt.capture", "scan.txt.capture.json", "scan.txt.json"));
    const SeamTrace trace = Trace();
    EXPECT_THAT(trace.motorRegister, ElementsAre(0x00FFu, 0x0000u));
    EXPECT_TRUE(trace.linkClosedBeforeBoard);
}

TEST_F(VelscanTest, AnInvalidFirstSampleSavesTheLinesBeforeIt) {
    const ProgramResult result =
        Velscan({"scan.txt", "-l", "5"}, {{"VELSCAN_SIM_FAULTS", "invalid@3"}});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, "ERROR: Sample measurement timeout!\n");
    EXPECT_EQ(result.err,
              std::string(kUpToSampling) + "Saving Data,Please Waiting\n" + Saved(3, "scan.txt"));
    EXPECT_EQ(Rows(Table()), 3u * 5000);
    EXPECT_TRUE(Trace().MotorStopped());
    EXPECT_TRUE(Trace().linkClosedBeforeBoard);
}

TEST_F(VelscanTest, ALoopFailureBeforeAnyLineLeavesAnExistingFileUntouched) {
    { std::ofstream(Work() / "scan.txt") << "previous scan"; }
    const ProgramResult stalled =
        Velscan({"scan.txt", "-l", "5"}, {{"VELSCAN_SIM_FAULTS", "stall@0"}});
    EXPECT_EQ(stalled.exitCode, 3);
    EXPECT_EQ(stalled.out, "ERROR: Buffer overflow flag not getting set.\n");
    EXPECT_EQ(stalled.err, kUpToSampling);
    const ProgramResult invalid =
        Velscan({"scan.txt", "-l", "5"}, {{"VELSCAN_SIM_FAULTS", "invalid@0"}});
    EXPECT_EQ(invalid.exitCode, 3);
    EXPECT_EQ(invalid.out, "ERROR: Sample measurement timeout!\n");
    EXPECT_TRUE(Trace().MotorStopped());
    EXPECT_EQ(Table(), "previous scan");
    // Sampling had started: the capture holds what the card delivered.
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt", "scan.txt.capture", "scan.txt.capture.json"));
}

TEST_F(VelscanTest, LostSamplesAreCountedAndSamplingIsRestarted) {
    // The card's buffer overflows as line 1 begins: that read reports the
    // overflow and the line's samples carry status bit 0, so the run restarts
    // sampling after it; line 2 is clean again.
    const ProgramResult result =
        Velscan({"scan.txt", "-l", "3"}, {{"VELSCAN_SIM_FAULTS", "overflow@1"}});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, Finished(-1, "Warning: samples were lost between lines in 1 of 3 lines "
                                       "(card buffer overflow or sampling restart).\n") +
                              Saved(3, "scan.txt"));
    EXPECT_EQ(Rows(Table()), 15000u);

    const ProgramResult twice =
        Velscan({"twice.txt", "-l", "4"}, {{"VELSCAN_SIM_FAULTS", "overflow@0,overflow@2"}});
    EXPECT_EQ(twice.exitCode, 0);
    EXPECT_EQ(twice.err, Finished(-1, "Warning: samples were lost between lines in 2 of 4 lines "
                                      "(card buffer overflow or sampling restart).\n") +
                             Saved(4, "twice.txt"));
}

TEST_F(VelscanTest, ATableThatCannotBeWrittenNeverReplacesTheFile) {
    { std::ofstream(Work() / "scan.txt") << "previous scan"; }
    // Files may grow to 100 kB only: one line of the table needs more.
    const ProgramResult result = Velscan({"scan.txt", "-l", "1"}, {}, std::nullopt, 100000);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, Finished(-1) + "Error: Can't write the measurement file\n");
    EXPECT_EQ(Table(), "previous scan");
    // The scan is not lost: its capture holds the line.
    EXPECT_THAT(OtherFiles(), ElementsAre("scan.txt", "scan.txt.capture", "scan.txt.capture.json"));
    EXPECT_EQ(std::filesystem::file_size(Work() / "scan.txt.capture"), (20u + 5000u) * 16u);
    EXPECT_TRUE(Trace().MotorStopped());
}

TEST_F(VelscanTest, AnOutputFileThatCannotBeCreatedStopsBeforeTheHardware) {
    const ProgramResult result = Velscan({"no/such/dir/scan.txt"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error: Can't create the file no/such/dir/scan.txt\n");
    EXPECT_THAT(OtherFiles(), IsEmpty());
}

TEST_F(VelscanTest, TheMissingDefaultPortSaysWhyAndWhatToSet) {
    // Neither simulated nor named: this system has no default serial port.
    const ProgramResult result =
        Velscan({"scan.txt", "-l", "1"},
                {{"VELSCAN_SIM", ""}, {"VELSCAN_CLOCK", ""}, {"VELSCAN_CARD", "sim"}});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(result.err.starts_with(
        "Error: Serial Comm port open failed.\n"
        "Cause: no serial device is named, and this system has no default one\n"
        "Set VELSCAN_LASER to "))
        << result.err;
    EXPECT_THAT(OtherFiles(), IsEmpty());
}

TEST_F(VelscanTest, AFaultTheReplayCardCannotInjectIsRefusedBeforeAnythingIsCreated) {
    ASSERT_EQ(Velscan({"first.txt", "-l", "1"}, {{"VELSCAN_CAPTURE", "cap.bin"}}).exitCode, 0);
    // Only the simulated card stalls, spoils a line or forces its calibration.
    const ProgramResult replay =
        Velscan({"replay.txt", "-l", "1"}, {{"VELSCAN_SIM", ""},
                                            {"VELSCAN_CARD", "replay:cap.bin"},
                                            {"VELSCAN_CAPTURE", "again.bin"},
                                            {"VELSCAN_SIM_FAULTS", "stall@0,invalid@0,calibration=599"}});
    EXPECT_EQ(replay.exitCode, 2);
    EXPECT_EQ(replay.out, "");
    EXPECT_EQ(replay.err,
              "Error: VELSCAN_SIM_FAULTS: 'stall@0': the replay card cannot inject this fault; the "
              "simulated card can.\n");
    EXPECT_THAT(OtherFiles(), ElementsAre("cap.bin", "cap.bin.json", "first.txt", "first.txt.json"));

    // What the replay card does inject still works.
    const ProgramResult noCard = Velscan(
        {"replay.txt", "-l", "1"},
        {{"VELSCAN_SIM", ""}, {"VELSCAN_CARD", "replay:cap.bin"}, {"VELSCAN_SIM_FAULTS", "no-card"}});
    EXPECT_EQ(noCard.exitCode, 3);
    EXPECT_TRUE(noCard.err.find("Error: VexaOpen failed.\nCause: simulated fault no-card\n") !=
                std::string::npos)
        << noCard.err;
}

TEST_F(VelscanTest, AnUnknownFaultIsRefusedWithoutAnySimulatedPart) {
    const ProgramResult result = Velscan(
        {"scan.txt", "-l", "1"},
        {{"VELSCAN_SIM", ""}, {"VELSCAN_CLOCK", ""}, {"VELSCAN_SIM_FAULTS", "nonsense"}});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with(
        "Error: VELSCAN_SIM_FAULTS: 'nonsense': unknown fault (known: no-laser, no-card, "))
        << result.err;
    EXPECT_EQ(Rows(result.err), 1u);
    EXPECT_THAT(OtherFiles(), IsEmpty());
}

TEST_F(VelscanTest, AVariableVelscanDoesNotKnowIsNamedInAWarning) {
    const ProgramResult plain = Velscan({"plain.txt", "-l", "0"});
    const ProgramResult misspelt =
        Velscan({"misspelt.txt", "-l", "0"}, {{"VELSCAN_CLOK", "virtual"}, {"VELSCAN_\x1b]0;", "x"}});
    EXPECT_EQ(misspelt.exitCode, 0);
    EXPECT_EQ(misspelt.out, plain.out);
    const std::string known =
        " is not a variable velscan knows and is ignored; it knows VELSCAN_SIM, VELSCAN_CARD, "
        "VELSCAN_LASER, VELSCAN_CLOCK, VELSCAN_SIM_SCENE, VELSCAN_SIM_SEED, VELSCAN_SIM_FAULTS, "
        "VELSCAN_CAPTURE, VELSCAN_TRACE, VELSCAN_PROFILE, VELSCAN_POSE, VELSCAN_LIVE, VELSCAN_PICTURES.\n";
    // One line each, in the environment's order, before everything else; the
    // control byte shown escaped.
    const std::string warnClok = "Warning: VELSCAN_CLOK" + known;
    const std::string warnHostile = "Warning: VELSCAN_\\x1b]0;" + known;
    // The run's own lines are the plain run's, but for the table's name.
    std::string runLines = plain.err;
    runLines.replace(runLines.rfind("plain.txt"), 9, "misspelt.txt");
    EXPECT_TRUE(misspelt.err == warnClok + warnHostile + runLines ||
                misspelt.err == warnHostile + warnClok + runLines)
        << misspelt.err;
    EXPECT_EQ(Table("misspelt.txt"), Table("plain.txt"));
}

TEST_F(VelscanTest, ALookupValueBeyondSinglePrecisionNeverReachesTheTable) {
    const std::string lookup = ReadFile(Work() / "LOOKUPHS");
    // The text with the first number of line `line` (from 0) replaced.
    const auto withFirstNumberOfLine = [&lookup](int line, const std::string& number) {
        std::size_t start = 0;
        for (int i = 0; i < line; ++i) start = lookup.find('\n', start) + 1;
        return lookup.substr(0, start) + number + lookup.substr(lookup.find(' ', start));
    };
    // An entry of the range table that the built-in room's distances use: it
    // ends the load there, so no row of the table is ever nan or inf (the
    // simulated instrument, which reads the same file, then has no range to
    // give and the run ends at the first line).
    std::ofstream(Work() / "LOOKUPHS", std::ios::binary | std::ios::trunc)
        << withFirstNumberOfLine(80, "1e39");
    const ProgramResult range = Velscan({"scan.txt", "-l", "1"});
    EXPECT_TRUE(range.exitCode == 0 || range.exitCode == 3) << range.err;
    if (std::filesystem::exists(Work() / "scan.txt")) {
        const std::string table = Table();
        EXPECT_EQ(table.find("nan"), std::string::npos);
        EXPECT_EQ(table.find("inf"), std::string::npos);
    }
    EXPECT_TRUE(range.exitCode == 3 || std::filesystem::exists(Work() / "scan.txt"));

    // A column distance it cannot hold refuses the file.
    std::ofstream(Work() / "LOOKUPHS", std::ios::binary | std::ios::trunc)
        << withFirstNumberOfLine(0, "-1e39");
    const ProgramResult distance = Velscan({"refused.txt", "-l", "1"});
    EXPECT_EQ(distance.exitCode, 3);
    EXPECT_NE(distance.out.find("Could not read calibration file"), std::string::npos)
        << distance.out;
    EXPECT_FALSE(std::filesystem::exists(Work() / "refused.txt"));
}

TEST_F(VelscanTest, UsageAndCommandLineErrors) {
    const ProgramResult usage = Velscan({}, {}, "\n");
    EXPECT_EQ(usage.exitCode, 1);
    EXPECT_TRUE(usage.out.starts_with("usage: velscan <Laserfile><options>\n"));
    EXPECT_EQ(Rows(usage.out), 9u);

    const ProgramResult unknown = Velscan({"scan.txt", "-S", "40"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.out,
              "unknown argument: -S\ntype velscan without any parameters for help");
    EXPECT_THAT(OtherFiles(), IsEmpty());
}

TEST_F(VelscanTest, RequestsForHelpOrTheVersionPrintAndEndWithoutAFileOrHardware) {
    const std::string usage = Velscan({}, {}, "\n").out;
    ASSERT_TRUE(usage.starts_with("usage: velscan <Laserfile><options>\n"));
    for (const char* request : {"-h", "-?", "/?", "--help"}) {
        for (const ProgramResult& help :
             {Velscan({request}), Velscan({request, "-l", "1"}, {{"VELSCAN_CAPTURE", "cap.bin"}})}) {
            EXPECT_EQ(help.exitCode, 0) << request;
            EXPECT_EQ(help.out, usage) << request;
            EXPECT_EQ(help.err, "") << request;
        }
    }
    const ProgramResult version = Velscan({"--version", "-l", "1"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.err, "");
    EXPECT_THAT(version.out, MatchesRegex("velscan [0-9]+\\.[0-9]+\\.[0-9]+\n"));
    // No scan into a file named as the request, no capture, no trace: the
    // hardware's seam was never reached.
    EXPECT_THAT(OtherFiles(), IsEmpty());
    EXPECT_FALSE(Trace().cardOpened);
    EXPECT_THAT(Trace().serialCalls, IsEmpty());
}

TEST_F(VelscanTest, AMotorPowerOrSamplePeriodTheCardWouldRefuseEndsBeforeAnyFileOrHardware) {
    const ProgramResult motor = Velscan({"scan.txt", "-l", "1", "-m", "3"}, {{"VELSCAN_CAPTURE", "cap.bin"}});
    EXPECT_EQ(motor.exitCode, 2);
    EXPECT_EQ(motor.err, "Error: motor must be 1 or 2, not 3\n");
    const ProgramResult power = Velscan({"scan.txt", "-p", "300"});
    EXPECT_EQ(power.exitCode, 2);
    EXPECT_EQ(power.err, "Error: motor power must be from 0 to 255, not 300\n");
    const ProgramResult period = Velscan({"scan.txt", "-s", "19"});
    EXPECT_EQ(period.exitCode, 2);
    EXPECT_EQ(period.err, "Error: Failed to set sample and range\n"
                          "Error: the sample period (-s) must be from 20 to 9999999 microseconds, not 19\n");
    EXPECT_THAT(OtherFiles(), IsEmpty());
    EXPECT_FALSE(Trace().cardOpened);
}

TEST_F(VelscanTest, TheUsageOnATerminalSaysThatEnterEndsTheProgram) {
    ProgramRun run;
    run.workingDirectory = Work();
    run.terminalInput = true;
    run.input = "\n";
    const ProgramResult onTerminal = Execute(VELSCAN_BINARY, run);
    EXPECT_EQ(onTerminal.exitCode, 1);
    EXPECT_EQ(Rows(onTerminal.out), 9u);
    EXPECT_EQ(onTerminal.err, "Press Enter to end the program.\n");

    // From a pipe, as a script runs it: the usage text alone.
    const ProgramResult fromPipe = Velscan({}, {}, "\n");
    EXPECT_EQ(fromPipe.exitCode, 1);
    EXPECT_EQ(fromPipe.out, onTerminal.out);
    EXPECT_EQ(fromPipe.err, "");
}

TEST_F(VelscanTest, ALookupFileThatCannotBeUsedIsNamedWithTheReason) {
    const std::string directory = std::filesystem::canonical(Work()).string();
    { std::ofstream(Work() / "scan.txt") << "previous scan"; }
    // An empty file would give a table of zeros, and the run would fail at
    // sampling and blame the card.
    { std::ofstream(Work() / "LOOKUPHS", std::ios::trunc); }
    const ProgramResult empty = Velscan({"scan.txt", "-l", "1"});
    EXPECT_EQ(empty.exitCode, 3);
    EXPECT_EQ(empty.out, "ERROR: Could not read calibration file\n");
    EXPECT_EQ(empty.err, std::string("Opened high speed interface.\nVEAX Card Calibration\n"
                                     "SamplingModeInit\n") +
                             transcript::LookupCause(directory, "it holds no numbers"));
    EXPECT_TRUE(Trace().motorRegister.empty()) << "the motor was never started";

    std::filesystem::remove(Work() / "LOOKUPHS");
    std::filesystem::create_directory(Work() / "LOOKUPHS");
    const ProgramResult folder = Velscan({"scan.txt", "-l", "1"});
    EXPECT_EQ(folder.exitCode, 3);
    EXPECT_TRUE(folder.err.ends_with(transcript::LookupCause(directory, "not a regular file")))
        << folder.err;
    EXPECT_EQ(Table(), "previous scan");
}

TEST_F(VelscanTest, NamesAndValuesFromOutsideAreShownWithTheirControlBytesEscaped) {
    // A hostile name, variable or file must not retitle or clear the terminal.
    const ProgramResult name = Velscan({"no/\x1b]0;owned\x07/scan.txt"});
    EXPECT_EQ(name.exitCode, 3);
    EXPECT_EQ(name.err, "Error: Can't create the file no/\\x1b]0;owned\\x07/scan.txt\n");

    const ProgramResult value = Velscan({"scan.txt"}, {{"VELSCAN_CLOCK", "\x1b[2J"}});
    EXPECT_EQ(value.exitCode, 2);
    EXPECT_EQ(value.err, "Error: VELSCAN_CLOCK must be real or virtual, not \"\\x1b[2J\".\n");

    { std::ofstream(Work() / "room.scene") << "\x1b]0;owned\x07 1 2 3\n"; }
    const ProgramResult scene = Velscan({"scan.txt"}, {{"VELSCAN_SIM_SCENE", "room.scene"}});
    EXPECT_EQ(scene.exitCode, 2);
    EXPECT_EQ(scene.err.find('\x1b'), std::string::npos) << scene.err;
    EXPECT_NE(scene.err.find("unknown item '\\x1b]0;owned\\x07'"), std::string::npos)
        << scene.err;
    EXPECT_THAT(OtherFiles(), ElementsAre("room.scene"));
}

TEST_F(VelscanTest, CtrlCStopsLikeQ) {
    // Ctrl+C: the line in progress is finished, the motor stopped and the
    // lines saved (a second one ends the program: see the signal tests). It
    // is sent once sampling has begun; 200 lines take far longer than seeing
    // that line does, and the counter shows that the run was still sampling.
    const auto program = Start({"scan.txt"});
    ASSERT_TRUE(program->WaitForError("Begin sampling\n"));
    program->Signal(SIGINT);
    const ProgramResult result = program->Wait();
    EXPECT_EQ(result.exitCode, 0);
    const std::size_t counterAt = result.err.find("Sampling Lines counter: ");
    ASSERT_NE(counterAt, std::string::npos) << result.err;
    const int counter = std::stoi(result.err.substr(counterAt + 24));
    EXPECT_GE(counter, 0);
    EXPECT_LT(counter, 200);
    EXPECT_EQ(Rows(Table()), static_cast<std::size_t>(200 - counter) * 5000);
    EXPECT_TRUE(result.err.ends_with("Saving Data,Please Waiting\n" +
                                     Saved(200 - counter, "scan.txt")))
        << result.err;
    EXPECT_TRUE(Trace().MotorStopped());
}

TEST_F(VelscanTest, ASeededScanGivesTheSameTableEveryTime) {
    const std::map<std::string, std::string> seeded{{"VELSCAN_SIM_SEED", "20261208"}};
    ASSERT_EQ(Velscan({"a.txt", "-l", "2"}, seeded).exitCode, 0);
    ASSERT_EQ(Velscan({"b.txt", "-l", "2"}, seeded).exitCode, 0);
    const std::string table = Table("a.txt");
    EXPECT_EQ(table, Table("b.txt"));
    EXPECT_EQ(Rows(table), 10000u);
    // The digest of this table when the simulated instrument, the conversion
    // and the writer were last checked; any change in the numbers shows here.
    EXPECT_EQ(Digest(table), 0x23d5e3423f1ea113ull) << std::hex << Digest(table);
}

}  // namespace
}  // namespace velscan::e2e
