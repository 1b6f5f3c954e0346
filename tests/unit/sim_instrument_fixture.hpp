#pragma once
// A simulated instrument in virtual time, driven control by control.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/instrument.hpp"
#include "sim_support.hpp"

namespace velscan::simtest {

class InstrumentRig {
public:
    explicit InstrumentRig(sim::FaultSet faults = {}, std::uint64_t seed = 7) {
        Make(std::move(faults), seed);
    }
    void Make(sim::FaultSet faults = {}, std::uint64_t seed = 7) {
        instrument = std::make_shared<sim::Instrument>(clock, ExampleOptions(seed, std::move(faults)));
        driver = std::make_unique<Driver>(*instrument);
    }

    void Laser(std::string_view text) {
        instrument->ReceiveSerialBytes(
            {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    }
    void Wait(std::uint32_t ms) { clock->SleepMs(ms); }
    void Motor(std::uint8_t power) { driver->Register(0x0003, power); }

    // The card library's calibration: table, clear, enable.
    void StartCalibration() {
        driver->Table(kCalibrationRegisterTable);
        driver->Plain(kControlClearSampleBuffer);
        driver->Enable();
    }
    // Sampling mode with the range finder at `periodUs`, buffer cleared, enabled.
    void StartSampling(std::uint32_t periodUs) {
        std::string command = "S";
        command += std::to_string(periodUs);
        command += '\n';
        Laser(command);
        driver->Table(kSamplingRegisterTable);
        driver->Plain(kControlClearSampleBuffer);
        driver->Enable();
    }
    std::uint32_t Buffered() { return driver->Status()[kStatusBufferedWord]; }
    bool OverflowWord() { return driver->Status()[kStatusOverflowWord] != 0; }

    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    std::shared_ptr<sim::Instrument> instrument;
    std::unique_ptr<Driver> driver;
};

class InstrumentFixture : public ::testing::Test, public InstrumentRig {};

}  // namespace velscan::simtest
