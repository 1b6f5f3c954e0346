// 200 short runs of the built program with random options, faults and stop
// keys drawn from a fixed seed. Each run must end as its draw says: the exit
// code, the table holding exactly the lines recorded (or an existing file left
// untouched), no stray file, and the motor stopped whenever it was started.
// Built with the sanitizers, a leak or memory error in any run fails its exit
// code.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "velscan_fixture.hpp"

namespace velscan::e2e {
namespace {

constexpr int kRuns = 200;
constexpr std::uint32_t kSeed = 20261208;

enum class FaultKind { None, NoLaser, NoCard, Calibration, EncoderClear, Stall, Invalid, Overflow };

struct Draw {
    int lines = 0;
    int period = 20;
    FaultKind fault = FaultKind::None;
    int faultLine = 0;
    int stopAfter = 0;  // 0: no q typed; n: q is the n-th key
    bool existingFile = false;

    std::string Faults() const {
        switch (fault) {
            case FaultKind::NoLaser: return "no-laser";
            case FaultKind::NoCard: return "no-card";
            case FaultKind::Calibration: return "calibration=599";
            case FaultKind::EncoderClear: return "fail=0x9c40200c";
            case FaultKind::Stall: return "stall@" + std::to_string(faultLine);
            case FaultKind::Invalid: return "invalid@" + std::to_string(faultLine);
            case FaultKind::Overflow: return "overflow@" + std::to_string(faultLine);
            case FaultKind::None: break;
        }
        return "";
    }
    std::string Describe() const {
        std::ostringstream text;
        text << "-l " << lines << " -s " << period << " faults '" << Faults() << "' q-key "
             << stopAfter << (existingFile ? " over an existing file" : "");
        return text.str();
    }
    bool FailsBeforeSampling() const {
        return period < 20 || fault == FaultKind::NoLaser || fault == FaultKind::NoCard ||
               fault == FaultKind::Calibration || fault == FaultKind::EncoderClear;
    }
};

Draw DrawRun(std::mt19937& random) {
    Draw draw;
    draw.lines = std::uniform_int_distribution<int>(0, 4)(random);
    const int periodDraw = std::uniform_int_distribution<int>(0, 19)(random);
    draw.period = periodDraw == 0 ? 19 : periodDraw < 4 ? 40 : 20;
    const int faultDraw = std::uniform_int_distribution<int>(0, 15)(random);
    static constexpr FaultKind kFaults[] = {
        FaultKind::NoLaser, FaultKind::NoCard,  FaultKind::Calibration, FaultKind::EncoderClear,
        FaultKind::Stall,   FaultKind::Stall,   FaultKind::Invalid,     FaultKind::Invalid,
        FaultKind::Overflow, FaultKind::Overflow};
    draw.fault = faultDraw < 10 ? kFaults[faultDraw] : FaultKind::None;
    draw.faultLine = std::uniform_int_distribution<int>(0, 4)(random);
    const int stopDraw = std::uniform_int_distribution<int>(0, 9)(random);
    draw.stopAfter = stopDraw < 3 ? stopDraw + 1 : 0;
    draw.existingFile = std::uniform_int_distribution<int>(0, 1)(random) == 1;
    return draw;
}

using SoakTest = VelscanFixture;

TEST_F(SoakTest, ManyRandomRunsEachEndCleanly) {
    std::mt19937 random(kSeed);
    for (int run = 0; run < kRuns; ++run) {
        const Draw draw = DrawRun(random);
        SCOPED_TRACE("run " + std::to_string(run) + ": " + draw.Describe());
        const std::filesystem::path target = Work() / "scan.txt";
        const std::filesystem::path metadata = Work() / "scan.txt.json";
        std::filesystem::remove(target);
        std::filesystem::remove(metadata);
        std::filesystem::remove(Work() / "scan.txt.capture");
        std::filesystem::remove(Work() / "scan.txt.capture.json");
        if (draw.existingFile) {
            std::ofstream(target) << "previous scan";
            std::ofstream(metadata) << "previous metadata";
        }

        std::map<std::string, std::string> environment{
            {"VELSCAN_SIM_SEED", std::to_string(run)}};
        if (draw.fault != FaultKind::None) environment["VELSCAN_SIM_FAULTS"] = draw.Faults();
        std::filesystem::remove(TracePath());
        std::optional<std::string> input;
        if (draw.stopAfter > 0) input = std::string(draw.stopAfter - 1, 'x') + "q";

        const ProgramResult result =
            Velscan({"scan.txt", "-l", std::to_string(draw.lines), "-s",
                     std::to_string(draw.period)},
                    environment, input);

        // What the draw says the run records, and how it ends.
        const bool loopFault = draw.fault == FaultKind::Stall || draw.fault == FaultKind::Invalid;
        const int stopLimit = draw.stopAfter > 0 ? draw.stopAfter : draw.lines;
        const int asked = std::min(draw.lines, stopLimit);
        const bool loopFails = loopFault && draw.faultLine < asked;
        const int recorded = loopFails ? draw.faultLine : asked;

        // A period the card refuses is refused on the command line, before
        // any file or hardware: exit code 2, and no trace of this run.
        const bool refused = draw.period < 20;
        EXPECT_EQ(std::filesystem::exists(TracePath()), !refused);
        if (draw.FailsBeforeSampling()) {
            EXPECT_EQ(result.exitCode, refused ? 2 : 3);
            EXPECT_EQ(result.err.find("Begin sampling"), std::string::npos);
        } else {
            EXPECT_EQ(result.exitCode, loopFails ? 3 : 0) << result.out << result.err;
            EXPECT_NE(result.err.find("Begin sampling\n"), std::string::npos);
        }

        const bool written = !draw.FailsBeforeSampling() && (!loopFails || recorded > 0);
        if (written) {
            const std::string table = ReadFile(target);
            EXPECT_TRUE(table.starts_with(kHeader));
            EXPECT_EQ(Rows(table), static_cast<std::size_t>(recorded) * 5000);
        } else if (draw.existingFile) {
            EXPECT_EQ(ReadFile(target), "previous scan");
            EXPECT_EQ(ReadFile(metadata), "previous metadata");
        } else {
            EXPECT_FALSE(std::filesystem::exists(target));
        }
        // The motor, when it was started, was stopped; everything opened was closed.
        const SeamTrace trace = Trace();
        if (!trace.motorRegister.empty()) {
            EXPECT_TRUE(trace.MotorStopped());
        }
        EXPECT_EQ(trace.motorRegister.empty(), draw.FailsBeforeSampling());
        EXPECT_EQ(trace.serialClosed, trace.serialOpened);
        EXPECT_EQ(trace.cardClosed, trace.cardOpened);

        // A table written by this run stands with its metadata file; a table
        // the run left as it was keeps the metadata it had. A run that began
        // sampling keeps its capture beside, with its metadata file.
        std::vector<std::string> expected;
        if (written || draw.existingFile) expected = {"scan.txt", "scan.txt.json"};
        if (!draw.FailsBeforeSampling()) {
            expected.insert(expected.begin() + (expected.empty() ? 0 : 1),
                            {"scan.txt.capture", "scan.txt.capture.json"});
        }
        EXPECT_EQ(OtherFiles(), expected);
        if (HasFailure()) break;  // one broken run tells enough
    }
}

}  // namespace
}  // namespace velscan::e2e
