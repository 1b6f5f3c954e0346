#include <gtest/gtest.h>

#include <cmath>

#include "conversion/distance.hpp"
#include "sim/instrument.hpp"
#include "sim/sim_devices.hpp"
#include "sim_card_run.hpp"

namespace velscan {
namespace {

struct Simulated {
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    std::shared_ptr<sim::Instrument> instrument;
    std::vector<RawSample> produced;
    std::vector<sim::SampleTruth> truths;

    explicit Simulated(sim::FaultSet faults = {}) {
        instrument =
            std::make_shared<sim::Instrument>(clock, simtest::ExampleOptions(11, std::move(faults)));
        instrument->SetProductionObserver([this](const RawSample& sample, const sim::SampleTruth& truth) {
            produced.push_back(sample);
            truths.push_back(truth);
        });
    }
    platform::Backend Backend() const {
        platform::Backend backend;
        backend.clock = clock;
        backend.openCardDevice = [card = instrument] { return sim::OpenSimulatedCard(card); };
        backend.openSerialPort = [card = instrument, gate = std::make_shared<sim::PortGate>()](
                                     std::int32_t) { return sim::OpenSimulatedPort(card, gate); };
        return backend;
    }
    void Forget() {
        produced.clear();
        truths.clear();
    }
};

// Every valid sample converts to the raw range and the distance the instrument
// meant: no raw range one step away would convert closer.
void ExpectConversionMatchesTruth(const Simulated& sim, const simtest::CardRun& run,
                                  double bound) {
    ASSERT_LE(run.records.size(), sim.produced.size());
    const auto& synthesis = *simtest::ExampleSynthesis();
    std::size_t valid = 0;
    for (std::size_t i = 0; i < run.records.size(); ++i) {
        const RawSample& sample = run.records[i];
        const Measurement& m = run.measurements[i];
        ASSERT_EQ(sample.rangeWord, sim.produced[i].rangeWord) << i;
        const sim::SampleTruth& truth = sim.truths[i];
        ASSERT_EQ(m.invalid != 0, !truth.valid) << i;
        if (!truth.valid) continue;
        ++valid;
        ASSERT_EQ(m.rawRange, truth.rawRange) << i;
        const std::uint32_t amplitude = sample.statusWord >> 24;
        const std::uint32_t temperature = (sample.statusWord >> 8) & 0xFFu;
        const double error = std::fabs(m.distance - truth.distance);
        for (const std::uint32_t raw : {m.rawRange - 1, m.rawRange + 1}) {
            ASSERT_LE(error, std::fabs(synthesis.DistanceOf(raw, amplitude, temperature,
                                                            run.averagingCount) -
                                       truth.distance))
                << i;
        }
        ASSERT_LE(error, bound) << i;
    }
    EXPECT_GT(valid, run.records.size() * 9 / 10);
}

TEST(SimCardLibrary, AWholeRecordingRunWorksInVirtualTimeAtTheDefaultPeriod) {
    Simulated sim;
    const auto run = simtest::RunCardLibrary(sim.Backend(), 4, 20, [&] { sim.Forget(); });
    EXPECT_EQ(run.calibrationResult, 1);
    EXPECT_GE(run.calibrationValue, 600);
    EXPECT_LE(run.calibrationValue, 1000);
    EXPECT_EQ(run.calibrationValue, sim.instrument->CalibrationValueInUse());
    EXPECT_EQ(run.averagingCount, 1);
    EXPECT_EQ(sim.instrument->Laser().SamplePeriodUs(), 20u);
    EXPECT_EQ(sim.instrument->Laser().MaxRangeInches(), 650);
    EXPECT_TRUE(sim.instrument->Laser().Greeted());
    EXPECT_EQ(run.readResults, (std::vector<int>{1, 1, 1, 1}));
    ASSERT_EQ(run.records.size(), 20000u);
    // One raw step at averaging count 1 is 128 table bits, about 0.14 inch.
    ExpectConversionMatchesTruth(sim, run, 0.08);

    // The mirror turned at full speed: angles advance, index flags mark turns.
    int index1 = 0;
    for (const Measurement& m : run.measurements) index1 += (m.status & kStatusIndex1Bit) != 0;
    EXPECT_NEAR(index1, 20000 * 20e-6 * 20, 1);
    EXPECT_GT(run.measurements.back().angle1, run.measurements.front().angle1);
    // Closing the board stopped sampling.
    EXPECT_FALSE(sim.instrument->SamplingActive());
}

TEST(SimCardLibrary, AtAveragingCount128DistancesComeBackWithinAHundredthOfAnInch) {
    Simulated sim;
    const auto run = simtest::RunCardLibrary(sim.Backend(), 2, 2300, [&] { sim.Forget(); });
    EXPECT_EQ(run.averagingCount, 128);
    EXPECT_EQ(run.readResults, (std::vector<int>{1, 1}));
    ExpectConversionMatchesTruth(sim, run, 0.01);
}

TEST(SimCardLibrary, FaultsReachTheCardLibraryAsTheFailuresTheyStandFor) {
    {
        Simulated sim(sim::ParseFaults("calibration=599"));
        const auto run = simtest::RunCardLibrary(sim.Backend(), 0, 20);
        EXPECT_EQ(run.calibrationResult, 0);
        EXPECT_EQ(run.calibrationValue, 599);
    }
    {
        Simulated sim(sim::ParseFaults("calibration-silent"));
        const auto run = simtest::RunCardLibrary(sim.Backend(), 0, 20);
        EXPECT_EQ(run.calibrationResult, 0);
    }
    {
        Simulated sim(sim::ParseFaults("overflow@1"));
        const auto run = simtest::RunCardLibrary(sim.Backend(), 3, 20);
        EXPECT_EQ(run.readResults, (std::vector<int>{1, 2, 1}));
        EXPECT_EQ(run.lineAtRestart, (std::vector<std::uint32_t>{1}));
    }
    {
        Simulated sim(sim::ParseFaults("stall@2"));
        const auto run = simtest::RunCardLibrary(sim.Backend(), 4, 20);
        EXPECT_EQ(run.readResults, (std::vector<int>{1, 1, 0}));
    }
    {
        Simulated sim(sim::ParseFaults("invalid@0"));
        const auto run = simtest::RunCardLibrary(sim.Backend(), 2, 20);
        ASSERT_EQ(run.measurements.size(), 10000u);
        EXPECT_EQ(run.measurements[0].invalid, 1);
        EXPECT_EQ(run.measurements[4999].invalid, 1);
        EXPECT_EQ(run.measurements[5000].invalid, 0);
    }
    {
        Simulated sim(sim::ParseFaults("fail=0x9c402000@2"));  // VexaOpen's reset passes
        platform::ScopedBackend scoped(sim.Backend());
        VexaInitBoards();
        const std::int32_t board = VexaOpen(1, nullptr);
        ASSERT_EQ(board, 0);
        EXPECT_EQ(VexaResetBoard(0), 0);
        VexaClose(0);
        VexaInitBoards();
    }
}

}  // namespace
}  // namespace velscan
