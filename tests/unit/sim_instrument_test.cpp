#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "sim/sim_devices.hpp"
#include "sim_instrument_fixture.hpp"

namespace velscan {
namespace {

using simtest::InstrumentFixture;
using SimInstrument = InstrumentFixture;

TEST_F(SimInstrument, AnswersEveryControlOfTheDriverAndKeepsWhatItIsGiven) {
    for (const std::uint32_t code :
         {kControlBoardReset, kControlSamplingEnableStep1, kControlSamplingEnableStep2,
          kControlSamplingStop, kControlClearSampleBuffer}) {
        EXPECT_TRUE(driver->Plain(code)) << std::hex << code;
    }
    EXPECT_TRUE(driver->Word16(kControlSetupWord, 0x0020));
    EXPECT_TRUE(driver->Word16(kControlSwitch, 1));
    EXPECT_TRUE(driver->Encoder(3));
    EXPECT_TRUE(driver->Register(0x0022, 0x004D));
    EXPECT_EQ(instrument->SetupWord(), 0x0020);
    EXPECT_EQ(instrument->SwitchValue(), 1);
    EXPECT_EQ(instrument->Registers().Read(0x0022), 0x004D);

    std::array<std::byte, 28> status{};
    std::memset(status.data(), 0xA5, status.size());
    const auto statusResult = instrument->Control(kControlStatus, status, status);
    EXPECT_TRUE(statusResult.succeeded);
    EXPECT_EQ(statusResult.bytesReturned, 28u);
    EXPECT_EQ(std::to_integer<int>(status[16]), 0);  // no overflow

    // Nothing buffered yet: success with no bytes.
    std::array<std::byte, 64> block{};
    const auto empty = instrument->Control(kControlBlockRead, {}, block);
    EXPECT_TRUE(empty.succeeded);
    EXPECT_EQ(empty.bytesReturned, 0u);

    // Records too short for their control, and a code the driver does not know.
    const std::byte one[1] = {std::byte{1}};
    EXPECT_FALSE(instrument->Control(kControlRegisterWrite, one, {}).succeeded);
    EXPECT_FALSE(instrument->Control(kControlEncoder, one, {}).succeeded);
    EXPECT_FALSE(instrument->Control(kControlSwitch, one, {}).succeeded);
    EXPECT_FALSE(instrument->Control(kControlStatus, {}, std::span(block).first(20)).succeeded);
    EXPECT_FALSE(driver->Plain(0x9c402050));

    // A reset forgets the registers, the switch and the set-up word.
    EXPECT_TRUE(driver->Plain(kControlBoardReset));
    EXPECT_EQ(instrument->Registers().Read(0x0022), 0);
    EXPECT_EQ(instrument->SwitchValue(), 0);
    EXPECT_EQ(instrument->Registers().Mode(), CardMode::None);
}

TEST_F(SimInstrument, CalibrationModeCarriesTheInterpolatorValueAndTheFourthIsUsed) {
    StartCalibration();
    EXPECT_EQ(instrument->Registers().Mode(), CardMode::Calibration);
    EXPECT_TRUE(driver->Read(20).empty());  // no time has passed yet
    Wait(100);
    EXPECT_EQ(Buffered(), 5000u);
    const auto records = driver->Read(20);
    ASSERT_EQ(records.size(), 20u);
    std::set<std::uint32_t> values;
    for (const RawSample& sample : records) {
        const std::uint32_t value = sample.rangeWord & 0x1FFFu;
        EXPECT_GE(value, 600u);
        EXPECT_LE(value, 1000u);
        EXPECT_NEAR(static_cast<double>(value), 800.0, 10.0);
        values.insert(value);
    }
    EXPECT_GT(values.size(), 1u);  // a little jitter
    EXPECT_EQ(instrument->CalibrationValueInUse(),
              static_cast<std::int32_t>(records[3].rangeWord & 0x1FFFu));
}

TEST_F(SimInstrument, SamplesFallDueAtThePeriodAndReadsDeliverWholeRecordsInOrder) {
    std::vector<RawSample> produced;
    instrument->SetProductionObserver(
        [&](const RawSample& sample, const sim::SampleTruth&) { produced.push_back(sample); });
    Motor(255);
    StartSampling(100);
    Wait(10);
    EXPECT_EQ(Buffered(), 100u);

    std::vector<RawSample> delivered = driver->Read(30);
    EXPECT_EQ(delivered.size(), 30u);
    // An output of 40 bytes takes two whole records.
    std::array<std::byte, 40> small{};
    const auto two = instrument->Control(kControlBlockRead, {}, small);
    EXPECT_EQ(two.bytesReturned, 32u);
    RawSample pair[2];
    std::memcpy(pair, small.data(), 32);
    delivered.insert(delivered.end(), pair, pair + 2);
    const auto rest = driver->Read(1000);
    EXPECT_EQ(rest.size(), 68u);  // at most what is buffered
    delivered.insert(delivered.end(), rest.begin(), rest.end());

    ASSERT_EQ(delivered.size(), produced.size());
    EXPECT_EQ(std::memcmp(delivered.data(), produced.data(), produced.size() * 16), 0);
    // A new period counts from the last sample taken at the old one.
    Laser("S1000\n");
    Wait(10);
    EXPECT_EQ(Buffered(), 10u);
}

TEST_F(SimInstrument, OverflowSetsTheStatusWordAndBitZeroUntilTheBufferIsCleared) {
    StartSampling(20);
    Wait(1000);  // 50,000 samples
    EXPECT_FALSE(OverflowWord());
    for (const RawSample& sample : driver->Read(10)) EXPECT_EQ(sample.statusWord & 1u, 0u);
    Wait(400);  // 20,000 more: 69,990 do not fit
    EXPECT_TRUE(OverflowWord());
    EXPECT_EQ(Buffered(), 65536u);
    const auto afterOverflow = driver->Read(5000);
    ASSERT_EQ(afterOverflow.size(), 5000u);
    for (const RawSample& sample : afterOverflow) EXPECT_EQ(sample.statusWord & 1u, 1u);

    driver->Plain(kControlClearSampleBuffer);
    EXPECT_FALSE(OverflowWord());
    EXPECT_EQ(Buffered(), 0u);
    Wait(10);
    const auto fresh = driver->Read(5000);
    ASSERT_EQ(fresh.size(), 500u);
    for (const RawSample& sample : fresh) EXPECT_EQ(sample.statusWord & 1u, 0u);
}

TEST_F(SimInstrument, IndexBitsMarkEachEncodersZeroCrossing) {
    Motor(255);
    Wait(20000);
    driver->Encoder(3);
    StartSampling(10000);  // 10 ms: a fifth of a mirror turn between samples
    std::vector<RawSample> samples;
    for (int i = 0; i < 80; ++i) {  // 48 s: more than one turn of the slow axis
        Wait(600);
        const auto block = driver->Read(100);
        samples.insert(samples.end(), block.begin(), block.end());
    }
    ASSERT_EQ(samples.size(), 4800u);
    int index1 = 0, index2 = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        const bool crossed1 = samples[i].encoder1Count / 4096 != samples[i - 1].encoder1Count / 4096;
        const bool crossed2 = samples[i].encoder2Count / 200 != samples[i - 1].encoder2Count / 200;
        EXPECT_EQ((samples[i].statusWord & kStatusIndex1Bit) != 0, crossed1) << i;
        EXPECT_EQ((samples[i].statusWord & kStatusIndex2Bit) != 0, crossed2) << i;
        index1 += crossed1;
        index2 += crossed2;
    }
    EXPECT_NEAR(index1, 48 * 20, 2);  // 20 turns a second at full power
    EXPECT_EQ(index2, 1);             // the slow axis turns once in 40 s
}

TEST_F(SimInstrument, MirrorSpinsUpFromPowerAndEncoderControlClearsTheCounts) {
    StartSampling(1000);
    Wait(100);
    for (const RawSample& sample : driver->Read(1000)) {  // motor off: the mirror stands still
        EXPECT_EQ(sample.encoder1Count, 0u);
        EXPECT_EQ(sample.encoder2Count, 0u);
        EXPECT_EQ(sample.statusWord & 0x0Cu, 0u);
    }
    Motor(255);
    const std::int64_t start = instrument->NowNs();
    EXPECT_LT(instrument->MirrorModel().SpeedAt(start + 1'000'000'000), 0.5 * 20.0);
    EXPECT_GT(instrument->MirrorModel().SpeedAt(start + 20'000'000'000), 0.999 * 20.0);
    Motor(128);
    EXPECT_NEAR(instrument->MirrorModel().SpeedAt(start + 30'000'000'000), 20.0 * 128 / 255, 1e-3);
    Motor(255);
    Wait(20000);
    driver->Plain(kControlClearSampleBuffer);
    Wait(1);
    const RawSample before = driver->Read(1).at(0);
    EXPECT_GT(before.encoder1Count, 100000u);  // counting since the start

    EXPECT_TRUE(driver->Encoder(5));  // clear flag 0: counts kept
    driver->Plain(kControlClearSampleBuffer);
    Wait(1);
    EXPECT_GT(driver->Read(1).at(0).encoder1Count, before.encoder1Count);

    EXPECT_TRUE(driver->Encoder(3));  // both cleared
    driver->Plain(kControlClearSampleBuffer);
    Wait(1);
    const RawSample after = driver->Read(1).at(0);
    EXPECT_LE(after.encoder1Count, 82u);  // at most one sample period of a full-speed turn
    EXPECT_LE(after.encoder2Count, 1u);
}

TEST_F(SimInstrument, SamplingRunsFromTheTwoStepEnableUntilStopResetOrClose) {
    driver->Table(kSamplingRegisterTable);
    driver->Plain(kControlSamplingEnableStep2);  // the second step alone starts nothing
    Wait(10);
    EXPECT_EQ(Buffered(), 0u);
    driver->Enable();
    Wait(10);
    EXPECT_EQ(Buffered(), 500u);
    driver->Plain(kControlSamplingStop);
    Wait(10);
    EXPECT_EQ(Buffered(), 500u);  // kept, and nothing new

    driver->Enable();
    Wait(10);
    EXPECT_EQ(Buffered(), 1000u);
    driver->Plain(kControlBoardReset);
    Wait(10);
    EXPECT_EQ(Buffered(), 0u);
    EXPECT_FALSE(instrument->SamplingActive());

    // Through a device handle: closing it stops sampling; the device opens exclusively.
    auto device = sim::OpenSimulatedCard(instrument);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(sim::OpenSimulatedCard(instrument), nullptr);
    simtest::Driver viaDevice(*instrument);
    viaDevice.Table(kSamplingRegisterTable);
    viaDevice.Enable();
    EXPECT_TRUE(instrument->SamplingActive());
    device.reset();
    EXPECT_FALSE(instrument->SamplingActive());
    EXPECT_NE(sim::OpenSimulatedCard(instrument), nullptr);
}

TEST_F(SimInstrument, SameSeedOptionsAndVirtualClockGiveTheSameRecords) {
    auto script = [](simtest::InstrumentRig& f) {
        f.Laser("IDA1T2X3S50\nF650\n");
        f.StartCalibration();
        f.Wait(100);
        std::vector<RawSample> all = f.driver->Read(20);
        f.driver->Plain(kControlSamplingStop);
        f.Motor(255);
        f.Wait(3000);
        f.StartSampling(50);
        for (int i = 0; i < 20; ++i) {
            f.Wait(10);
            const auto block = f.driver->Read(5000);
            all.insert(all.end(), block.begin(), block.end());
        }
        return all;
    };
    simtest::InstrumentRig second({}, 7);
    simtest::InstrumentRig otherSeed({}, 8);
    const auto a = script(*this);
    const auto b = script(second);
    const auto c = script(otherSeed);
    ASSERT_EQ(a.size(), 20u + 4000u);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * 16), 0);
    ASSERT_EQ(a.size(), c.size());
    EXPECT_NE(std::memcmp(a.data(), c.data(), a.size() * 16), 0);
}

}  // namespace
}  // namespace velscan
