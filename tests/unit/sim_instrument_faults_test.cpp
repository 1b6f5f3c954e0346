#include <gtest/gtest.h>

#include "sim_instrument_fixture.hpp"

namespace velscan {
namespace {

using simtest::InstrumentRig;

sim::FaultSet Faults(const char* list) { return sim::ParseFaults(list); }

// Reads sampling records in 10 ms steps until `count` have arrived or a
// second passes without any.
std::vector<RawSample> ReadSampling(InstrumentRig& rig, std::size_t count) {
    std::vector<RawSample> records;
    int idle = 0;
    while (records.size() < count && idle < 100) {
        rig.Wait(10);
        const auto block = rig.driver->Read(count - records.size());
        idle = block.empty() ? idle + 1 : 0;
        records.insert(records.end(), block.begin(), block.end());
    }
    return records;
}

TEST(SimInstrumentFaults, CalibrationValueCanBeForcedOrSilenced) {
    InstrumentRig forced(Faults("calibration=1001"));
    forced.StartCalibration();
    forced.Wait(100);
    for (const RawSample& sample : forced.driver->Read(20)) EXPECT_EQ(sample.rangeWord & 0x1FFFu, 1001u);
    EXPECT_EQ(forced.instrument->CalibrationValueInUse(), 1001);

    InstrumentRig silent(Faults("calibration-silent"));
    silent.StartCalibration();
    silent.Wait(6000);
    EXPECT_TRUE(silent.driver->Read(20).empty());
    // Sampling mode is not affected.
    silent.driver->Plain(kControlSamplingStop);
    silent.StartSampling(20);
    EXPECT_EQ(ReadSampling(silent, 100).size(), 100u);
}

TEST(SimInstrumentFaults, AFailingCodeIsRejectedFromItsKthIssueOn) {
    InstrumentRig rig(Faults("fail=0x9c402048@2,fail=0x9c402040"));
    std::array<std::byte, 28> status{};
    EXPECT_TRUE(rig.instrument->Control(kControlStatus, status, status).succeeded);
    EXPECT_FALSE(rig.instrument->Control(kControlStatus, status, status).succeeded);
    EXPECT_FALSE(rig.instrument->Control(kControlStatus, status, status).succeeded);
    EXPECT_FALSE(rig.driver->Plain(kControlClearSampleBuffer));
    EXPECT_TRUE(rig.driver->Plain(kControlBoardReset));

    // A rejected control has no effect: the clear does not empty the buffer.
    rig.StartSampling(20);
    rig.Wait(10);
    rig.driver->Plain(kControlClearSampleBuffer);
    EXPECT_EQ(rig.driver->Read(5000).size(), 500u);
}

TEST(SimInstrumentFaults, StallEndsDeliveryAfterItsLineWithoutAnOverflow) {
    InstrumentRig rig(Faults("stall@1"));
    rig.StartSampling(20);
    EXPECT_EQ(ReadSampling(rig, 5000).size(), 5000u);
    rig.Wait(5000);  // long enough to fill the buffer twice over
    EXPECT_TRUE(rig.driver->Read(100).empty());
    EXPECT_FALSE(rig.OverflowWord());

    InstrumentRig atStart(Faults("stall@0"));
    atStart.StartSampling(20);
    atStart.Wait(100);
    EXPECT_TRUE(atStart.driver->Read(100).empty());
}

TEST(SimInstrumentFaults, OverflowFlagsItsLineUntilTheBufferIsCleared) {
    InstrumentRig rig(Faults("overflow@1"));
    rig.StartSampling(20);
    const auto line0 = ReadSampling(rig, 5000);
    ASSERT_EQ(line0.size(), 5000u);
    for (const RawSample& sample : line0) ASSERT_EQ(sample.statusWord & 1u, 0u);
    EXPECT_FALSE(rig.OverflowWord());

    const auto line1 = ReadSampling(rig, 5000);
    ASSERT_EQ(line1.size(), 5000u);
    for (const RawSample& sample : line1) ASSERT_EQ(sample.statusWord & 1u, 1u);
    EXPECT_TRUE(rig.OverflowWord());

    // The card library's answer: clear and enable again.
    rig.driver->Plain(kControlClearSampleBuffer);
    rig.driver->Enable();
    EXPECT_FALSE(rig.OverflowWord());
    for (const RawSample& sample : ReadSampling(rig, 5000)) ASSERT_EQ(sample.statusWord & 1u, 0u);
}

TEST(SimInstrumentFaults, InvalidTakesTheRangeOfEverySampleOfItsLine) {
    InstrumentRig rig(Faults("invalid@1"));
    rig.Motor(255);
    rig.Wait(20000);
    rig.StartSampling(20);
    const auto records = ReadSampling(rig, 15000);
    ASSERT_EQ(records.size(), 15000u);
    std::size_t valid0 = 0, valid2 = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const bool invalid = (records[i].rangeWord & 0x80000000u) != 0;
        if (i >= 5000 && i < 10000) {
            ASSERT_TRUE(invalid) << i;
        } else if (!invalid) {
            ++(i < 5000 ? valid0 : valid2);
        }
    }
    // The built-in room surrounds the scanner: the other lines have ranges.
    EXPECT_EQ(valid0, 5000u);
    EXPECT_EQ(valid2, 5000u);
}

}  // namespace
}  // namespace velscan
