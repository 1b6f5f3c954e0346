// velscan-reconvert on the captures of real runs of velscan: the recorded
// table again byte for byte, new distances from another lookup file, a
// capture without its metadata file, and inputs it must refuse without
// writing anything.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "velscan_fixture.hpp"

namespace velscan::e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class ReconvertTest : public VelscanFixture {
protected:
    void Record() {
        const ProgramResult run = Velscan({"scan.txt", "-l", "5", "-s", "40", "-r", "600"},
                                          {{"VELSCAN_CAPTURE", "cap.bin"}, {"VELSCAN_SIM_FAULTS", "overflow@3"}});
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }
    ProgramResult Reconvert(std::vector<std::string> arguments) const {
        ProgramRun run;
        run.arguments = std::move(arguments);
        run.workingDirectory = Work();
        return Execute(VELSCAN_RECONVERT_BINARY, run);
    }
    // The capture's metadata file `to` as the run puts it in place before
    // sampling, made from the finished one `from` with Python's json: what
    // the run learns later is null, `end` first.
    void WriteInProgress(const std::string& from, const std::string& to) const {
        ProgramRun run;
        run.arguments = {"-c",
                         "import json,sys; d=json.load(open(sys.argv[1])); d['end']=None; d['times']['end']=None; "
                         "d['lines']['recorded']=None; d['lines']['withLostSamples']=[]; "
                         "d['rows']={'total':None,'withoutRange':None}; d['table']=None; "
                         "d['capture']['records']=None; d['capture']['sha256']=None; "
                         "json.dump(d,open(sys.argv[2],'w'),indent=2)",
                         from, to};
        run.workingDirectory = Work();
        const ProgramResult result = Execute("/usr/bin/python3", run);
        EXPECT_EQ(result.exitCode, 0) << result.err;
    }
    // A value of the table's metadata file, read with Python's json.
    std::string Json(const std::string& file, const std::string& expression) const {
        ProgramRun run;
        run.arguments = {"-c", "import json,sys; d=json.load(open(sys.argv[1])); print(json.dumps(" + expression + "))",
                         file};
        run.workingDirectory = Work();
        const ProgramResult result = Execute("/usr/bin/python3", run);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out.substr(0, result.out.find('\n'));
    }
};

TEST_F(ReconvertTest, ACaptureWithLostSamplesGivesTheRecordedTableByteForByte) {
    Record();
    const ProgramResult result = Reconvert({"cap.bin", "again.txt"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Converted 5 lines of cap.bin into again.txt, identical to the recorded table\n");
    EXPECT_EQ(Table("again.txt"), Table("scan.txt"));
    EXPECT_EQ(Json("again.txt.json", "d['reconverted']['identicalToRecorded']"), "true");
    EXPECT_EQ(Json("again.txt.json", "d['reconverted']['sameLookup']"), "true");
    EXPECT_EQ(Json("again.txt.json", "d['table']['sha256'] == json.load(open('scan.txt.json'))['table']['sha256']"),
              "true");
    // The recording's facts carried over: the lost line, the settings, the time.
    EXPECT_EQ(Json("again.txt.json", "d['lines']"), R"({"asked": 5, "recorded": 5, "withLostSamples": [3]})");
    EXPECT_EQ(Json("again.txt.json", "[d['settings']['samplePeriod'], d['settings']['maxRange']]"), "[40, 600]");
    EXPECT_EQ(Json("again.txt.json", "d['times']['start'] == json.load(open('cap.bin.json'))['times']['start']"),
              "true");
    EXPECT_EQ(Json("again.txt.json", "[d['program']['name'], d['backend']['card']['kind']]"),
              R"(["velscan-reconvert", "replay"])");
}

TEST_F(ReconvertTest, AnotherLookupFileGivesNewDistancesAndNamesBothFiles) {
    Record();
    // The same table with every distance of its first row 1 inch further.
    std::string lookup = ReadFile(Work() / "LOOKUPHS");
    std::string shifted;
    std::istringstream lines(lookup);
    std::string line;
    for (int row = 0; std::getline(lines, line); ++row) {
        if (row == 1) {
            std::istringstream numbers(line);
            std::string changed;
            for (double value = 0; numbers >> value;) changed += std::to_string(value + 1.0) + " ";
            line = changed;
        }
        shifted += line + "\n";
    }
    std::ofstream(Work() / "other.lookup") << shifted;

    const ProgramResult result = Reconvert({"cap.bin", "other.txt", "--lookup", "other.lookup"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(Table("other.txt"), Table("scan.txt"));
    EXPECT_EQ(Table("other.txt").size() > 0, true);
    EXPECT_EQ(Json("other.txt.json", "d['reconverted']['identicalToRecorded']"), "false");
    EXPECT_EQ(Json("other.txt.json", "d['reconverted']['sameLookup']"), "false");
    EXPECT_EQ(Json("other.txt.json", "d['reconverted']['recordedLookupSha256'] == json.load(open('cap.bin.json'))['lookup']['sha256']"),
              "true");
    EXPECT_EQ(Json("other.txt.json", "[d['lookup']['name'], d['reconverted']['lookupSha256'] == d['lookup']['sha256']]"),
              R"(["other.lookup", true])");
}

TEST_F(ReconvertTest, WithoutItsMetadataFileTheCaptureNeedsTheSettings) {
    Record();
    fs::remove(Work() / "cap.bin.json");
    const ProgramResult refused = Reconvert({"cap.bin", "again.txt"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_THAT(refused.err, HasSubstr("velscan-reconvert: Error: the capture has no metadata file cap.bin.json"));
    EXPECT_FALSE(fs::exists(Work() / "again.txt"));

    const ProgramResult result = Reconvert({"cap.bin", "again.txt", "-s", "40", "-r", "600"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Table("again.txt"), Table("scan.txt"));
    EXPECT_EQ(Json("again.txt.json", "[d['reconverted']['identicalToRecorded'], d['reconverted']['from']['metadata']]"),
              "[null, null]");
}

TEST_F(ReconvertTest, VersionIsOneLineWithVelscansVersionAndWritesNothing) {
    const ProgramResult version = Reconvert({"cap.bin", "--version", "t.txt"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.err, "");
    const std::string velscanVersion = Velscan({"--version"}).out;
    ASSERT_TRUE(velscanVersion.starts_with("velscan ")) << velscanVersion;
    EXPECT_EQ(version.out, "velscan-reconvert " + velscanVersion.substr(8));
    EXPECT_THAT(OtherFiles(), ::testing::IsEmpty());
}

TEST_F(ReconvertTest, WhatCannotBeConvertedEndsWithExitCode3AndWritesNothing) {
    Record();
    const auto before = OtherFiles();
    const auto refuse = [&](std::vector<std::string> arguments, const std::string& why) {
        const ProgramResult result = Reconvert(arguments);
        EXPECT_EQ(result.exitCode, 3) << why;
        EXPECT_THAT(result.err, HasSubstr("velscan-reconvert: Error: ")) << why;
        EXPECT_EQ(OtherFiles(), before) << why;
    };
    refuse({"cap.bin", "cap.bin"}, "the table would be the capture");
    refuse({"cap.bin", "LOOKUPHS"}, "the table would be the lookup file");
    refuse({"cap.bin", "t.txt", "--lookup", "missing"}, "no lookup file");
    refuse({"missing.bin", "t.txt"}, "no capture");

    std::string capture = ReadFile(Work() / "cap.bin");
    std::ofstream(Work() / "odd.bin", std::ios::binary) << capture.substr(0, capture.size() - 3);
    std::ofstream(Work() / "odd.bin.json") << ReadFile(Work() / "cap.bin.json");
    std::ofstream(Work() / "short.bin", std::ios::binary) << capture.substr(0, 16 * 19);
    std::ofstream(Work() / "broken.bin", std::ios::binary) << capture;
    std::ofstream(Work() / "broken.bin.json") << "{ not json";
    std::ofstream(Work() / "later.bin", std::ios::binary) << capture;
    std::string later = ReadFile(Work() / "cap.bin.json");
    later.replace(later.find("\"version\": 1"), 12, "\"version\": 2");
    std::ofstream(Work() / "later.bin.json") << later;
    std::ofstream(Work() / "cut.bin", std::ios::binary) << capture.substr(0, capture.size() - 16 * 5000);
    std::ofstream(Work() / "cut.bin.json") << ReadFile(Work() / "cap.bin.json");
    const auto withInputs = OtherFiles();
    const auto refuseHere = [&](std::vector<std::string> arguments, const std::string& why) {
        const ProgramResult result = Reconvert(arguments);
        EXPECT_EQ(result.exitCode, 3) << why;
        EXPECT_THAT(result.err, HasSubstr("velscan-reconvert: Error: ")) << why;
        EXPECT_EQ(OtherFiles(), withInputs) << why;
    };
    refuseHere({"odd.bin", "t.txt"}, "a record cut short");
    refuseHere({"short.bin", "t.txt", "-s", "40", "-r", "600"}, "fewer than the calibration records");
    refuseHere({"broken.bin", "t.txt"}, "a metadata file that is no JSON");
    refuseHere({"later.bin", "t.txt"}, "a later format version");
    refuseHere({"cut.bin", "t.txt"}, "fewer lines than recorded");

    const ProgramResult usage = Reconvert({"cap.bin"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_THAT(usage.err, HasSubstr("usage: velscan-reconvert CAPTURE TABLE"));
}

// The first `lines` lines of a table: its heading and their rows.
std::string FirstLines(const std::string& table, std::size_t lines) {
    std::size_t at = 0;
    for (std::size_t row = 0; row < lines * 5000 + 1 && at != std::string::npos; ++row)
        at = table.find('\n', at + 1);
    return at == std::string::npos ? table : table.substr(0, at);
}

// A run cut short (a crash, a power cut) leaves its capture ending anywhere,
// with the metadata file put in place before sampling beside it: every
// complete line comes back with no option typed, as the recorded table's
// rows, and the new table's metadata says where the scan was cut.
TEST_F(ReconvertTest, ACaptureCutShortGivesEveryCompleteLineAndSaysWhere) {
    Record();
    const std::string capture = ReadFile(Work() / "cap.bin");
    const std::string recorded = Table("scan.txt");
    struct Cut {
        const char* name;
        std::size_t bytes;
        std::int32_t lines;
        std::size_t recordsLeft, bytesLeft;
    };
    const std::size_t line = 16 * 5000, calibration = 16 * 20;
    for (const Cut& cut : {Cut{"mid-record", calibration + 2 * line + 16 * 1234 + 7, 2, 1234, 7},
                           Cut{"mid-line", calibration + 3 * line + 16 * 100, 3, 100, 0},
                           Cut{"after-line", calibration + 4 * line, 4, 0, 0},
                           Cut{"all-lines", capture.size(), 5, 0, 0}}) {
        SCOPED_TRACE(cut.name);
        const std::string name = std::string(cut.name) + ".bin";
        std::ofstream(Work() / name, std::ios::binary) << capture.substr(0, cut.bytes);
        WriteInProgress("cap.bin.json", name + ".json");
        const std::string table = std::string(cut.name) + ".txt";
        const ProgramResult result = Reconvert({name, table});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_THAT(result.out, HasSubstr("the scan was cut short after " + std::to_string(cut.lines) +
                                          " complete lines of 5 asked; " + std::to_string(cut.recordsLeft)));
        EXPECT_EQ(Table(table.c_str()), FirstLines(recorded, static_cast<std::size_t>(cut.lines)));
        EXPECT_EQ(Json(table + ".json", "[d['end']['how'], d['end']['exitCode'], d['lines']['recorded']]"),
                  "[\"cut short\", 0, " + std::to_string(cut.lines) + "]");
        EXPECT_EQ(Json(table + ".json", "d['reconverted']['cutShort']"),
                  "{\"completeLines\": " + std::to_string(cut.lines) + ", \"recordsLeftOver\": " +
                      std::to_string(cut.recordsLeft) + ", \"bytesLeftOver\": " + std::to_string(cut.bytesLeft) + "}");
    }

    // No complete line: nothing to convert, and nothing written.
    for (const std::size_t bytes : {calibration, calibration + 5, calibration + line - 16}) {
        SCOPED_TRACE(bytes);
        std::ofstream(Work() / "early.bin", std::ios::binary) << capture.substr(0, bytes);
        WriteInProgress("cap.bin.json", "early.bin.json");
        const auto before = OtherFiles();
        const ProgramResult result = Reconvert({"early.bin", "early.txt"});
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_EQ(result.err, "velscan-reconvert: Error: the scan in early.bin was cut short before its first line "
                              "was complete: there is no line to convert\n");
        EXPECT_EQ(OtherFiles(), before);
    }

    // A capture whose metadata says the scan ended is refused when its size
    // disagrees, cut inside a record or by whole records.
    std::ofstream(Work() / "ended.bin", std::ios::binary) << capture.substr(0, calibration + 2 * line);
    std::ofstream(Work() / "ended.bin.json") << ReadFile(Work() / "cap.bin.json");
    const ProgramResult ended = Reconvert({"ended.bin", "ended.txt"});
    EXPECT_EQ(ended.exitCode, 3);
    EXPECT_EQ(ended.err, "velscan-reconvert: Error: the capture ended.bin holds 10020 records, but ended.bin.json "
                         "says the scan wrote 25020\n");
}

// A request to end while the table is written: the unfinished table and
// metadata file are removed, the earlier pair stays as it was, and the exit
// code is the signal's.
TEST_F(ReconvertTest, ARequestToEndLeavesTheEarlierTableAndNoUnfinishedFile) {
    const ProgramResult record = Velscan({"scan.txt", "-l", "200"}, {{"VELSCAN_CAPTURE", "cap.bin"}});
    ASSERT_EQ(record.exitCode, 0) << record.err;
    const auto unfinished = [this] {
        std::vector<std::string> names;
        for (const std::string& name : OtherFiles())
            if (name.starts_with(".velscan")) names.push_back(name);
        return names;
    };
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        std::ofstream(Work() / "t.txt") << "OLD TABLE";
        std::ofstream(Work() / "t.txt.json") << "OLD METADATA";
        // A program that finished before the signal came is tried again.
        ProgramResult result;
        for (int attempt = 0; attempt < 5 && result.exitCode != 128 + signal; ++attempt) {
            RunningProgram program(VELSCAN_RECONVERT_BINARY, ProgramRun{{"cap.bin", "t.txt"}, {}, std::nullopt, Work(), std::nullopt});
            for (int waited = 0; waited < 60000 && unfinished().empty(); ++waited) ::usleep(1000);
            program.SignalTogether({signal});
            result = program.Wait();
            if (result.exitCode == 0) {
                std::ofstream(Work() / "t.txt") << "OLD TABLE";
                std::ofstream(Work() / "t.txt.json") << "OLD METADATA";
            }
        }
        EXPECT_EQ(result.exitCode, 128 + signal) << result.err;
        EXPECT_EQ(Table("t.txt"), "OLD TABLE");
        EXPECT_EQ(Table("t.txt.json"), "OLD METADATA");
        EXPECT_THAT(unfinished(), ::testing::IsEmpty());
    }
}

TEST_F(ReconvertTest, ADeviceTableIsWrittenInPlaceAndMessagesSayWhyWithoutRawControlBytes) {
    Record();
    // A device as the table: written in place, no metadata file beside it.
    const ProgramResult device = Reconvert({"cap.bin", "/dev/null"});
    EXPECT_EQ(device.exitCode, 0) << device.err;
    EXPECT_FALSE(fs::exists("/dev/null.json"));

    // The lookup loader's own reason reaches the message.
    std::ofstream(Work() / "big", std::ios::binary) << std::string((std::size_t{1} << 20) + 1, '1');
    const ProgramResult big = Reconvert({"cap.bin", "t.txt", "--lookup", "big"});
    EXPECT_EQ(big.exitCode, 3);
    EXPECT_THAT(big.err, HasSubstr("the lookup file big cannot be used: larger than 1048576 bytes"));

    // An unknown option's control bytes are shown escaped.
    const ProgramResult hostile = Reconvert({"-\x1b]0;owned\a", "x"});
    EXPECT_EQ(hostile.exitCode, 2);
    EXPECT_EQ(hostile.err.find('\x1b'), std::string::npos) << hostile.err;
    EXPECT_EQ(hostile.err.find('\a'), std::string::npos) << hostile.err;
    EXPECT_THAT(hostile.err, HasSubstr("unknown option -\\x1b]0;owned\\x07"));
}

}  // namespace
}  // namespace velscan::e2e
