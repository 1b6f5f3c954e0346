#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "acquisition/backend_chooser.hpp"
#include "acquisition/known_variables.hpp"
#include "plan_and_build.hpp"

namespace velscan {
namespace {

// An environment of the test's own making that counts how often each variable is read.
struct FakeEnvironment {
    std::map<std::string, std::string> values;
    std::map<std::string, int> reads;

    EnvironmentReader Reader() {
        return [this](const char* name) -> const char* {
            ++reads[name];
            const auto found = values.find(name);
            return found == values.end() ? nullptr : found->second.c_str();
        };
    }
};

TEST(BackendChooser, PosixHasNoDefaultDevicesAndSaysWhichVariableToSet) {
    FakeEnvironment env;
    std::string error;
    const auto plan = PlanBackend(env.Reader(), Host::Posix, error);
    ASSERT_TRUE(plan) << error;
    EXPECT_EQ(plan->clock, ClockChoice::Real);
    EXPECT_EQ(plan->laser, LaserChoice::Missing);
    EXPECT_EQ(plan->card, CardChoice::Missing);
    EXPECT_NE(plan->laserHint.find("VELSCAN_LASER"), std::string::npos);
    EXPECT_EQ(plan->laserHint.back(), '\n');
    EXPECT_FALSE(plan->cardHint.empty());
    EXPECT_EQ(plan->cardHint.back(), '\n');

    const auto backend = BuildBackend(*plan, error);
    ASSERT_TRUE(backend) << error;
    EXPECT_NE(backend->seam.clock, nullptr);
    // With no default device, the failed opens still say why.
    const platform::SerialPortOpening port = backend->seam.openSerialPort(1);
    EXPECT_EQ(port.port, nullptr);
    EXPECT_NE(port.failure.find("no serial device is named"), std::string::npos) << port.failure;
    const platform::CardDeviceOpening card = backend->seam.openCardDevice();
    EXPECT_EQ(card.device, nullptr);
    EXPECT_NE(card.failure.find("no card device is named"), std::string::npos) << card.failure;
}

TEST(BackendChooser, WindowsDefaultsToTheNumberedPortAndTheDriversDevice) {
    FakeEnvironment env;
    std::string error;
    const auto plan = PlanBackend(env.Reader(), Host::Windows, error);
    ASSERT_TRUE(plan) << error;
    EXPECT_EQ(plan->laser, LaserChoice::NumberedPort);
    EXPECT_EQ(plan->card, CardChoice::Device);
    EXPECT_EQ(plan->cardPath, "\\\\.\\KT7100");
    EXPECT_TRUE(plan->laserHint.empty());
    EXPECT_TRUE(plan->cardHint.empty());
}

TEST(BackendChooser, NamedDevicesAreUsedAndEmptyValuesCountAsUnset) {
    FakeEnvironment env;
    env.values = {{"VELSCAN_LASER", "/dev/pts/93"}, {"VELSCAN_CARD", "/dev/card0"}};
    std::string error;
    auto plan = PlanBackend(env.Reader(), Host::Posix, error);
    ASSERT_TRUE(plan) << error;
    EXPECT_EQ(plan->laser, LaserChoice::Device);
    EXPECT_EQ(plan->laserDevice, "/dev/pts/93");
    EXPECT_TRUE(plan->laserHint.empty());
    EXPECT_EQ(plan->card, CardChoice::Device);
    EXPECT_EQ(plan->cardPath, "/dev/card0");
    EXPECT_FALSE(plan->cardHint.empty()) << "no card driver exists here, whatever the path";

    plan = PlanBackend(env.Reader(), Host::Windows, error);
    ASSERT_TRUE(plan) << error;
    EXPECT_EQ(plan->cardPath, "/dev/card0");
    EXPECT_TRUE(plan->cardHint.empty());

    env.values = {{"VELSCAN_LASER", ""}, {"VELSCAN_CARD", ""}, {"VELSCAN_CLOCK", ""},
                  {"VELSCAN_SIM", ""}};
    plan = PlanBackend(env.Reader(), Host::Windows, error);
    ASSERT_TRUE(plan) << error;
    EXPECT_EQ(plan->laser, LaserChoice::NumberedPort);
    EXPECT_EQ(plan->cardPath, "\\\\.\\KT7100");
    EXPECT_EQ(plan->clock, ClockChoice::Real);
}

TEST(BackendChooser, EveryVariableIsReadExactlyOnce) {
    FakeEnvironment env;
    std::string error;
    ASSERT_TRUE(testing_support::PlanAndBuild(env.Reader(), error)) << error;
    const std::map<std::string, int> once = {
        {"VELSCAN_CAPTURE", 1}, {"VELSCAN_CARD", 1},      {"VELSCAN_CLOCK", 1},
        {"VELSCAN_LASER", 1},   {"VELSCAN_SIM", 1},       {"VELSCAN_SIM_FAULTS", 1},
        {"VELSCAN_SIM_SCENE", 1}, {"VELSCAN_SIM_SEED", 1},    {"VELSCAN_TRACE", 1},
        {"VELSCAN_PROFILE", 1}, {"VELSCAN_POSE", 1},
        {"VELSCAN_LIVE", 1},    {"VELSCAN_PICTURES", 1}};
    EXPECT_EQ(env.reads, once);
    // The variables the warning calls known are the ones the plan reads.
    std::map<std::string, int> known;
    for (const std::string_view name : kKnownVariables) known[std::string(name)] = 1;
    EXPECT_EQ(known, once);
}

TEST(BackendChooser, OnlyUnknownVelscanVariablesGetAWarning) {
    EXPECT_EQ(UnknownVariableWarnings({"PATH", "VELSCAN_CLOCK", "VELSCAN_SIM", "velscan_clok",
                                       "XVELSCAN_CLOK", "VELSCAN"}),
              "");
    const std::string warnings = UnknownVariableWarnings({"VELSCAN_CLOK", "HOME", "VELSCAN_\x07"});
    EXPECT_EQ(warnings,
              "Warning: VELSCAN_CLOK is not a variable velscan knows and is ignored; it knows "
              "VELSCAN_SIM, VELSCAN_CARD, VELSCAN_LASER, VELSCAN_CLOCK, VELSCAN_SIM_SCENE, "
              "VELSCAN_SIM_SEED, VELSCAN_SIM_FAULTS, VELSCAN_CAPTURE, VELSCAN_TRACE, VELSCAN_PROFILE, "
              "VELSCAN_POSE, VELSCAN_LIVE, VELSCAN_PICTURES.\n"
              "Warning: VELSCAN_\\x07 is not a variable velscan knows and is ignored; it knows "
              "VELSCAN_SIM, VELSCAN_CARD, VELSCAN_LASER, VELSCAN_CLOCK, VELSCAN_SIM_SCENE, "
              "VELSCAN_SIM_SEED, VELSCAN_SIM_FAULTS, VELSCAN_CAPTURE, VELSCAN_TRACE, VELSCAN_PROFILE, "
              "VELSCAN_POSE, VELSCAN_LIVE, VELSCAN_PICTURES.\n");
}

TEST(BackendChooser, ClockMustBeRealOrVirtualAndVirtualNeedsASimulatedCard) {
    FakeEnvironment env;
    std::string error;
    for (const char* bad : {"fast", "Virtual", "REAL", " real"}) {
        env.values = {{"VELSCAN_CLOCK", bad}};
        error.clear();
        EXPECT_FALSE(PlanBackend(env.Reader(), Host::Windows, error)) << bad;
        EXPECT_NE(error.find("VELSCAN_CLOCK"), std::string::npos) << error;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }

    env.values = {{"VELSCAN_CLOCK", "real"}};
    auto plan = PlanBackend(env.Reader(), Host::Windows, error);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->clock, ClockChoice::Real);

    env.values = {{"VELSCAN_CLOCK", "virtual"}};
    error.clear();
    EXPECT_FALSE(PlanBackend(env.Reader(), Host::Windows, error));
    EXPECT_NE(error.find("VELSCAN_CLOCK=virtual"), std::string::npos) << error;
    env.values = {{"VELSCAN_CLOCK", "virtual"}, {"VELSCAN_CARD", "/dev/card0"}};
    EXPECT_FALSE(PlanBackend(env.Reader(), Host::Posix, error));

    env.values = {{"VELSCAN_CLOCK", "virtual"}, {"VELSCAN_CARD", "replay:run.raw"}};
    plan = PlanBackend(env.Reader(), Host::Posix, error);
    ASSERT_TRUE(plan) << error;
    EXPECT_EQ(plan->clock, ClockChoice::Virtual);
    EXPECT_EQ(plan->card, CardChoice::Replay);
    EXPECT_EQ(plan->cardPath, "run.raw");
    // A replay with no port named simulates the range finder: no advice to name one.
    EXPECT_EQ(plan->laser, LaserChoice::Simulated);
    EXPECT_TRUE(plan->laserHint.empty());
}

TEST(BackendChooser, SimulatedPartsAttachAndValuesTheyCannotUseAreRefused) {
    // Each simulated part is built when asked for.
    const std::map<std::string, std::string> attached[] = {
        {{"VELSCAN_LASER", "sim"}},
        {{"VELSCAN_CARD", "sim"}},
        {{"VELSCAN_SIM", "1"}},
    };
    for (const auto& values : attached) {
        FakeEnvironment env;
        env.values = values;
        std::string error;
        const auto backend = testing_support::PlanAndBuild(env.Reader(), error);
        ASSERT_TRUE(backend) << error;
        EXPECT_TRUE(error.empty()) << error;
    }

    struct Case {
        std::map<std::string, std::string> values;
        const char* message;
    };
    const Case cases[] = {
        {{{"VELSCAN_CARD", "replay:/nonexistent/run.raw"}}, "cannot read /nonexistent/run.raw"},
        {{{"VELSCAN_SIM", "1"}, {"VELSCAN_SIM_FAULTS", "no-lazer"}}, "unknown fault"},
        {{{"VELSCAN_CAPTURE", "/nonexistent/run.raw"}}, "VELSCAN_CAPTURE: cannot create"},
        {{{"VELSCAN_SIM", "yes"}}, "VELSCAN_SIM must be 1 or 0"},
        {{{"VELSCAN_CARD", "replay:"}}, "needs the capture file's path"},
    };
    for (const Case& c : cases) {
        FakeEnvironment env;
        env.values = c.values;
        std::string error;
        EXPECT_FALSE(testing_support::PlanAndBuild(env.Reader(), error)) << c.message;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(error.rfind("Error: ", 0), 0u) << error;
        EXPECT_EQ(error.back(), '\n');
    }

    // Every variable is checked before a file is created: a trace that cannot
    // be created leaves no capture behind.
    const std::filesystem::path capture =
        std::filesystem::temp_directory_path() / "velscan-chooser-capture-never-created.raw";
    std::filesystem::remove(capture);
    FakeEnvironment traced;
    traced.values = {{"VELSCAN_SIM", "1"},
                     {"VELSCAN_CAPTURE", capture.string()},
                     {"VELSCAN_TRACE", "/nonexistent/trace.txt"}};
    std::string traceError;
    EXPECT_FALSE(testing_support::PlanAndBuild(traced.Reader(), traceError));
    EXPECT_EQ(traceError, "Error: VELSCAN_TRACE: can't create the file /nonexistent/trace.txt\n");
    EXPECT_FALSE(std::filesystem::exists(capture));

    FakeEnvironment off;
    off.values = {{"VELSCAN_SIM", "0"}};
    std::string error;
    EXPECT_TRUE(testing_support::PlanAndBuild(off.Reader(), error)) << error;
}

TEST(BackendChooser, SimulationSetsTheDefaultsButNamedPartsWin) {
    FakeEnvironment env;
    env.values = {{"VELSCAN_SIM", "1"}, {"VELSCAN_LASER", "/dev/pts/90"}};
    std::string error;
    const auto plan = PlanBackend(env.Reader(), Host::Posix, error);
    ASSERT_TRUE(plan) << error;
    EXPECT_TRUE(plan->simulateInstrument);
    EXPECT_EQ(plan->laser, LaserChoice::Device);
    EXPECT_EQ(plan->card, CardChoice::Simulated);
    EXPECT_TRUE(plan->laserHint.empty());
    EXPECT_TRUE(plan->cardHint.empty());
}

// The plan's verdict on VELSCAN_SIM_FAULTS with the other variables given.
std::string FaultVerdict(std::map<std::string, std::string> values, const std::string& faults) {
    FakeEnvironment env;
    env.values = std::move(values);
    env.values["VELSCAN_SIM_FAULTS"] = faults;
    std::string error;
    return PlanBackend(env.Reader(), Host::Posix, error) ? "accepted" : error;
}

TEST(BackendChooserFaults, AnUnknownNameIsRefusedWhateverTheBackend) {
    const std::string known =
        "(known: no-laser, no-card, calibration=N, calibration-silent, fail=0xCODE[@K], stall@L, "
        "overflow@L, invalid@L)";
    const std::map<std::string, std::string> backends[] = {
        {},                                   // nothing simulated: real port and card
        {{"VELSCAN_CARD", "/dev/card0"}},     // a named real card
        {{"VELSCAN_LASER", "sim"}},           // only the range finder simulated
        {{"VELSCAN_SIM", "1"}},
        {{"VELSCAN_CARD", "replay:run.raw"}},
    };
    for (const auto& values : backends) {
        EXPECT_EQ(FaultVerdict(values, "nonsense"),
                  "Error: VELSCAN_SIM_FAULTS: 'nonsense': unknown fault " + known + "\n");
        // A bad value of a known fault is as much an error without a simulated part.
        EXPECT_NE(FaultVerdict(values, "stall@x").find("'stall@x': the line must be"),
                  std::string::npos);
    }
}

TEST(BackendChooserFaults, TheReplayCardRefusesWhatOnlyTheSimulatedCardInjects) {
    const std::map<std::string, std::string> replay = {{"VELSCAN_CARD", "replay:run.raw"}};
    for (const char* fault :
         {"stall@0", "invalid@0", "overflow@0", "calibration=599", "calibration-silent"}) {
        EXPECT_EQ(FaultVerdict(replay, fault),
                  std::string("Error: VELSCAN_SIM_FAULTS: '") + fault +
                      "': the replay card cannot inject this fault; the simulated card can.\n");
        EXPECT_EQ(FaultVerdict({{"VELSCAN_SIM", "1"}}, fault), "accepted") << fault;
    }
    // The first fault it cannot inject is named, wherever it stands in the list.
    EXPECT_NE(FaultVerdict(replay, "no-card, fail=0x9c402000,invalid@3,stall@1").find("'invalid@3'"),
              std::string::npos);
    // The driver's rejections and both openers' faults work with a replay
    // (its range finder is simulated while no port is named).
    EXPECT_EQ(FaultVerdict(replay, "fail=0x9c402000@2,no-card,no-laser"), "accepted");
}

TEST(BackendChooserFaults, RealPartsInjectNothing) {
    // A real card: no fault of a card is injected.
    EXPECT_EQ(FaultVerdict({{"VELSCAN_CARD", "/dev/card0"}, {"VELSCAN_LASER", "sim"}},
                           "fail=0x9c402000"),
              "Error: VELSCAN_SIM_FAULTS: 'fail=0x9c402000': a real card cannot inject this "
              "fault; the simulated card or the replay card can.\n");
    EXPECT_EQ(FaultVerdict({}, "no-card"),
              "Error: VELSCAN_SIM_FAULTS: 'no-card': a real card cannot inject this fault; a "
              "simulated or replayed card can.\n");
    // A real port: the simulated card cannot stop it from opening.
    EXPECT_EQ(FaultVerdict({{"VELSCAN_SIM", "1"}, {"VELSCAN_LASER", "/dev/pts/90"}}, "no-laser"),
              "Error: VELSCAN_SIM_FAULTS: 'no-laser': a real serial port cannot inject this "
              "fault; the simulated range finder can.\n");
    EXPECT_EQ(FaultVerdict({{"VELSCAN_LASER", "sim"}}, "no-laser"), "accepted");
    EXPECT_EQ(FaultVerdict({}, ""), "accepted");
}

TEST(BackendChooserFaults, ARefusedFaultCreatesNoFile) {
    const std::filesystem::path capture =
        std::filesystem::temp_directory_path() / "velscan-chooser-refused-fault.raw";
    std::filesystem::remove(capture);
    FakeEnvironment env;
    env.values = {{"VELSCAN_CARD", "replay:run.raw"},
                  {"VELSCAN_CAPTURE", capture.string()},
                  {"VELSCAN_SIM_FAULTS", "stall@2"}};
    std::string error;
    EXPECT_FALSE(testing_support::PlanAndBuild(env.Reader(), error));
    EXPECT_NE(error.find("'stall@2'"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(capture));
}

}  // namespace
}  // namespace velscan
