#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "sim/capture.hpp"
#include "sim/instrument.hpp"
#include "sim/replay_card.hpp"
#include "sim/sim_devices.hpp"
#include "sim_card_run.hpp"

namespace velscan {
namespace {

std::vector<RawSample> ReadRecords(const std::string& path) { return sim::LoadCaptureFile(path); }

// A backend over `card` with a simulated range finder, capturing to `capturePath`.
platform::Backend CapturingBackend(std::shared_ptr<platform::Clock> clock,
                                   std::shared_ptr<sim::SimulatedHardware> card,
                                   const std::string& capturePath) {
    auto capture = std::make_shared<CaptureFile>(capturePath);
    platform::Backend backend;
    backend.clock = std::move(clock);
    backend.openCardDevice = [card, capture] {
        return sim::WrapWithCapture(sim::OpenSimulatedCard(card), capture);
    };
    backend.openSerialPort = [card, gate = std::make_shared<sim::PortGate>()](std::int32_t) {
        return sim::OpenSimulatedPort(card, gate);
    };
    return backend;
}

TEST(SimReplay, AReplayedCaptureGivesTheCardLibraryTheSameRawRecords) {
    const simtest::TempFile originalFile("sim_replay_original.raw");
    const simtest::TempFile againFile("sim_replay_again.raw");
    const std::string& original = originalFile.Path();
    const std::string& again = againFile.Path();

    // A simulated run with a restart after an overflowed line.
    auto clock1 = std::make_shared<platform::VirtualClock>();
    auto instrument = std::make_shared<sim::Instrument>(
        clock1, simtest::ExampleOptions(3, sim::ParseFaults("overflow@1")));
    const auto first = simtest::RunCardLibrary(CapturingBackend(clock1, instrument, original), 4, 50);
    ASSERT_EQ(first.calibrationResult, 1);
    ASSERT_EQ(first.records.size(), 20000u);
    EXPECT_EQ(first.lineAtRestart, (std::vector<std::uint32_t>{1}));

    // The capture: 20 calibration records, then every sampling record, in the card's format.
    const auto captured = ReadRecords(original);
    ASSERT_EQ(captured.size(), 20u + 20000u);
    EXPECT_EQ(static_cast<std::int32_t>(captured[3].rangeWord & 0x1FFFu), first.calibrationValue);
    EXPECT_EQ(std::memcmp(captured.data() + 20, first.records.data(), 20000 * 16), 0);

    // Replayed with the same options: the same calibration value, the same
    // records, the same conversion, and a capture of the replay equal to the original.
    auto clock2 = std::make_shared<platform::VirtualClock>();
    auto replay = std::make_shared<sim::ReplayCard>(clock2, captured);
    const auto second = simtest::RunCardLibrary(CapturingBackend(clock2, replay, again), 4, 50);
    EXPECT_EQ(second.calibrationResult, 1);
    EXPECT_EQ(second.calibrationValue, first.calibrationValue);
    EXPECT_EQ(second.readResults, first.readResults);
    EXPECT_EQ(second.lineAtRestart, first.lineAtRestart);
    ASSERT_EQ(second.records.size(), first.records.size());
    EXPECT_EQ(std::memcmp(second.records.data(), first.records.data(), 20000 * 16), 0);
    for (std::size_t i = 0; i < first.measurements.size(); ++i) {
        ASSERT_EQ(second.measurements[i].distance, first.measurements[i].distance) << i;
        ASSERT_EQ(second.measurements[i].angle1, first.measurements[i].angle1) << i;
    }
    const auto recaptured = ReadRecords(again);
    ASSERT_EQ(recaptured.size(), captured.size());
    EXPECT_EQ(std::memcmp(recaptured.data(), captured.data(), captured.size() * 16), 0);
    EXPECT_EQ(replay->DeliveredCalibration(), 20u);
    EXPECT_EQ(replay->DeliveredSampling(), 20000u);
}

TEST(SimReplay, RecordsAreReleasedAtTheRangeFindersPeriodAndTheEndStopsDelivery) {
    std::vector<RawSample> records(20 + 300);
    for (std::size_t i = 0; i < records.size(); ++i) records[i].rangeWord = static_cast<std::uint32_t>(i);
    auto clock = std::make_shared<platform::VirtualClock>();
    sim::ReplayCard card(clock, records);
    simtest::Driver driver(card);
    const std::string command = "S100\n";
    card.ReceiveSerialBytes({reinterpret_cast<const std::uint8_t*>(command.data()), command.size()});

    driver.Table(kCalibrationRegisterTable);
    driver.Enable();
    clock->SleepMs(1);  // ten periods
    const auto calibration = driver.Read(20);
    ASSERT_EQ(calibration.size(), 10u);
    clock->SleepMs(100);
    ASSERT_EQ(driver.Read(20).size(), 10u);  // the calibration part holds 20
    EXPECT_TRUE(driver.Read(20).empty());

    driver.Plain(kControlSamplingStop);
    driver.Table(kSamplingRegisterTable);
    driver.Plain(kControlClearSampleBuffer);
    driver.Enable();
    clock->SleepMs(5);
    const auto sampling = driver.Read(1000);
    ASSERT_EQ(sampling.size(), 50u);
    EXPECT_EQ(sampling.front().rangeWord, 20u);
    // A clear drops nothing from the file: delivery goes on where it stopped.
    clock->SleepMs(5);
    driver.Plain(kControlClearSampleBuffer);
    clock->SleepMs(100);
    const auto rest = driver.Read(1000);
    ASSERT_EQ(rest.size(), 250u);
    EXPECT_EQ(rest.front().rangeWord, 70u);
    clock->SleepMs(100);
    EXPECT_TRUE(driver.Read(1000).empty());
}

TEST(SimReplay, CaptureFilesThatCannotBeUsedAreRefusedClearly) {
    const simtest::TempFile odd("sim_replay_odd.raw");
    std::ofstream(odd.Path(), std::ios::binary) << "seventeen bytes!!";
    EXPECT_THROW(sim::LoadCaptureFile(odd.Path()), sim::ReplayError);
    const simtest::TempFile missing("sim_replay_missing.raw");
    EXPECT_THROW(sim::LoadCaptureFile(missing.Path()), sim::ReplayError);
    EXPECT_THROW(CaptureFile("/nonexistent/dir/capture.raw"), CaptureError);

    const simtest::TempFile empty("sim_replay_empty.raw");
    std::ofstream(empty.Path(), std::ios::binary).close();
    EXPECT_TRUE(sim::LoadCaptureFile(empty.Path()).empty());
}

TEST(SimReplay, TheCaptureKeepsOnlyWhatBlockReadsDelivered) {
    const simtest::TempFile file("sim_capture_only_reads.raw");
    const std::string& path = file.Path();
    auto clock = std::make_shared<platform::VirtualClock>();
    auto instrument = std::make_shared<sim::Instrument>(clock, simtest::ExampleOptions());
    auto capture = std::make_shared<CaptureFile>(path);
    auto device = sim::WrapWithCapture(sim::OpenSimulatedCard(instrument), capture);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(sim::WrapWithCapture(nullptr, capture), nullptr);

    simtest::Driver driver(*instrument);
    driver.Table(kSamplingRegisterTable);
    driver.Enable();
    clock->SleepMs(1);
    std::array<RawSample, 8> block{};
    const auto bytes = std::as_writable_bytes(std::span(block));
    std::array<std::byte, 28> status{};
    EXPECT_TRUE(device->Control(kControlStatus, status, status).succeeded);
    // An output of 5 records and 8 bytes: five whole records delivered and kept.
    const auto result = device->Control(kControlBlockRead, {}, bytes.first(5 * 16 + 8));
    EXPECT_EQ(result.bytesReturned, 80u);
    const auto kept = sim::LoadCaptureFile(path);
    ASSERT_EQ(kept.size(), 5u);
    EXPECT_EQ(std::memcmp(kept.data(), block.data(), 80), 0);
}

}  // namespace
}  // namespace velscan
