#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "cardlib/protocol.hpp"
#include "acquisition/backend_chooser.hpp"
#include "plan_and_build.hpp"
#include "sim/replay_card.hpp"
#include "acquisition/backend_simulation.hpp"
#include "sim_support.hpp"

namespace velscan {
namespace {

using simtest::TempFile;

std::optional<ChosenBackend> Choose(std::map<std::string, std::string> values,
                                        std::string& error) {
    error.clear();
    return testing_support::PlanAndBuild(
        [&values](const char* name) -> const char* {
            const auto found = values.find(name);
            return found == values.end() ? nullptr : found->second.c_str();
        },
        error);
}

// Calibration and one sampling read through the backend's card, in its clock.
std::vector<RawSample> Records(platform::Backend& backend) {
    auto card = std::move(backend.openCardDevice().device);
    EXPECT_NE(card, nullptr);
    if (!card) return {};
    auto plain = [&](std::uint32_t code) { return card->Control(code, {}, {}).succeeded; };
    auto table = [&](const auto& writes) {
        for (const RegisterWrite& write : writes) {
            if (write.reg == kRegisterTableEnd) break;
            card->Control(kControlRegisterWrite, EncodeWordPair(write.reg, write.value), {});
        }
    };
    std::vector<RawSample> records(2000);
    auto read = [&](std::size_t at, std::size_t n) {
        const auto bytes = std::as_writable_bytes(std::span(records).subspan(at, n));
        return card->Control(kControlBlockRead, {}, bytes).bytesReturned / 16;
    };
    table(kCalibrationRegisterTable);
    plain(kControlSamplingEnableStep1);
    plain(kControlSamplingEnableStep2);
    backend.clock->SleepMs(100);
    std::size_t count = read(0, 20);
    plain(kControlSamplingStop);
    table(kSamplingRegisterTable);
    plain(kControlClearSampleBuffer);
    plain(kControlSamplingEnableStep1);
    plain(kControlSamplingEnableStep2);
    backend.clock->SleepMs(30);
    count += read(count, 1980);
    records.resize(count);
    return records;
}

TEST(SimBackend, TheSimulatedInstrumentRunsInVirtualTimeDeterminedByItsSeed) {
    std::string error;
    auto backend = Choose({{"VELSCAN_SIM", "1"}, {"VELSCAN_CLOCK", "virtual"}}, error);
    ASSERT_TRUE(backend) << error;
    EXPECT_NE(dynamic_cast<platform::VirtualClock*>(backend->seam.clock.get()), nullptr);
    {
        auto port = std::move(backend->seam.openSerialPort(1).port);
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(backend->seam.openSerialPort(1).port, nullptr);  // opened exclusively
        port->Close();
        EXPECT_NE(backend->seam.openSerialPort(1).port, nullptr);
    }
    const auto first = Records(backend->seam);
    EXPECT_EQ(first.size(), 20u + 1500u);

    auto same = Choose({{"VELSCAN_SIM", "1"}, {"VELSCAN_CLOCK", "virtual"}}, error);
    auto seeded = Choose({{"VELSCAN_SIM", "1"}, {"VELSCAN_CLOCK", "virtual"},
                          {"VELSCAN_SIM_SEED", "0x2a"}}, error);
    ASSERT_TRUE(same && seeded) << error;
    const auto again = Records(same->seam);
    const auto other = Records(seeded->seam);
    ASSERT_EQ(again.size(), first.size());
    ASSERT_EQ(other.size(), first.size());
    EXPECT_EQ(std::memcmp(again.data(), first.data(), first.size() * 16), 0);
    EXPECT_NE(std::memcmp(other.data(), first.data(), first.size() * 16), 0);
}

TEST(SimBackend, SceneFaultsAndCaptureComeFromTheEnvironment) {
    const TempFile sceneFile("sim_backend.scene");
    const std::string& scene = sceneFile.Path();
    std::ofstream(scene) << "# only a floor\nplane 0 0 1 -60 0.5\n";
    const TempFile captureFile("sim_backend_capture.raw");
    const std::string& capture = captureFile.Path();
    std::string error;
    auto backend = Choose({{"VELSCAN_SIM", "1"},
                           {"VELSCAN_CLOCK", "virtual"},
                           {"VELSCAN_SIM_SCENE", scene},
                           {"VELSCAN_CAPTURE", capture}},
                          error);
    ASSERT_TRUE(backend) << error;
    const auto records = Records(backend->seam);
    ASSERT_EQ(records.size(), 1520u);
    // The mirror stands still, horizontally: with only a floor nothing is hit.
    for (std::size_t i = 20; i < records.size(); ++i) EXPECT_NE(records[i].rangeWord & 0x80000000u, 0u);
    const auto captured = sim::LoadCaptureFile(capture);
    ASSERT_EQ(captured.size(), records.size());
    EXPECT_EQ(std::memcmp(captured.data(), records.data(), records.size() * 16), 0);

    auto broken = Choose({{"VELSCAN_SIM", "1"}, {"VELSCAN_SIM_FAULTS", "no-laser,no-card"}}, error);
    ASSERT_TRUE(broken) << error;
    EXPECT_EQ(broken->seam.openSerialPort(1).port, nullptr);
    EXPECT_EQ(broken->seam.openCardDevice().device, nullptr);

    const TempFile badSceneFile("sim_backend_bad.scene");
    const std::string& badScene = badSceneFile.Path();
    std::ofstream(badScene) << "box 0 0 0 1 1 1 0.5\nwall 1 2\n";
    EXPECT_FALSE(Choose({{"VELSCAN_SIM", "1"}, {"VELSCAN_SIM_SCENE", badScene}}, error));
    EXPECT_EQ(error, "Error: VELSCAN_SIM_SCENE: scene file " + badScene +
                         ", line 2: unknown item 'wall' (expected scanner, box, plane, cylinder "
                         "or sphere)\n");
    EXPECT_FALSE(Choose({{"VELSCAN_CARD", "sim"}, {"VELSCAN_SIM_SEED", "12ab"}}, error));
    EXPECT_NE(error.find("VELSCAN_SIM_SEED"), std::string::npos) << error;
    EXPECT_EQ(error.back(), '\n');
    // The seed is only read when something is simulated.
    EXPECT_TRUE(Choose({{"VELSCAN_SIM_SEED", "nonsense"}}, error)) << error;
}

TEST(SimBackend, AReplayWithoutANamedPortGetsTheSimulatedRangeFinder) {
    const TempFile captureFile("sim_backend_replay.raw");
    const std::string& capture = captureFile.Path();
    {
        std::vector<RawSample> records(40);
        std::ofstream(capture, std::ios::binary)
            .write(reinterpret_cast<const char*>(records.data()), 40 * 16);
    }
    std::string error;
    auto backend =
        Choose({{"VELSCAN_CARD", "replay:" + capture}, {"VELSCAN_CLOCK", "virtual"}}, error);
    ASSERT_TRUE(backend) << error;
    auto port = std::move(backend->seam.openSerialPort(1).port);
    ASSERT_NE(port, nullptr);
    const std::string command = "S1000\n";
    EXPECT_EQ(port->Write({reinterpret_cast<const std::uint8_t*>(command.data()), command.size()}),
              platform::WriteOutcome::Completed);
    // 1 ms per record now: 30 ms release the whole sampling part of 20.
    EXPECT_EQ(Records(backend->seam).size(), 20u + 20u);

    // A port named for the range finder stays the operator's choice.
    auto named = Choose({{"VELSCAN_CARD", "replay:" + capture},
                         {"VELSCAN_LASER", TempFile("sim_backend_no_such_port").Path()}},
                        error);
    ASSERT_TRUE(named) << error;
    EXPECT_EQ(named->seam.openSerialPort(1).port, nullptr);
    std::filesystem::remove(capture);
    EXPECT_FALSE(Choose({{"VELSCAN_CARD", "replay:" + capture}}, error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
}

TEST(SimBackend, SeedsAreDecimalOrHexadecimal) {
    EXPECT_EQ(ParseSeed(""), sim::kDefaultSeed);
    EXPECT_EQ(ParseSeed("42"), 42u);
    EXPECT_EQ(ParseSeed("0x2A"), 42u);
    EXPECT_EQ(ParseSeed("18446744073709551615"), 18446744073709551615u);
    EXPECT_FALSE(ParseSeed("18446744073709551616"));
    EXPECT_FALSE(ParseSeed("-1"));
    EXPECT_FALSE(ParseSeed("0x"));
    EXPECT_FALSE(ParseSeed("4 2"));
}

}  // namespace
}  // namespace velscan
