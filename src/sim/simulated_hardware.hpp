#pragma once
// What the simulated card and the replay card have in common: the driver's
// side of every control code (records in and out, the two-step sampling
// enable, the register file), the range finder behind the simulated serial
// port, control failures injected with `fail=`, and exclusive opening of the
// card's device (the port's is kept by PortGate, sim_devices.hpp). The card's
// own behaviour - where samples come from and when - is left to the derived
// class.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>

#include "cardlib/protocol.hpp"
#include "platform/card_device.hpp"
#include "platform/clock.hpp"
#include "sim/card_registers.hpp"
#include "sim/faults.hpp"
#include "sim/range_finder.hpp"
#include "sim/serial_sink.hpp"

namespace velscan::sim {

class SimulatedHardware : public SerialSink {
public:
    SimulatedHardware(std::shared_ptr<platform::Clock> clock, FaultSet faults);
    ~SimulatedHardware() override = default;
    SimulatedHardware(const SimulatedHardware&) = delete;
    SimulatedHardware& operator=(const SimulatedHardware&) = delete;

    // One device control, as the card's driver answers it.
    platform::ControlResult Control(std::uint32_t code, std::span<const std::byte> input,
                                    std::span<std::byte> output);

    // The device is opened exclusively: false while another handle is open.
    bool OpenCard();
    void CloseCard();

    void ReceiveSerialBytes(std::span<const std::uint8_t> bytes) override;

    const RangeFinder& Laser() const { return rangeFinder_; }
    const CardRegisters& Registers() const { return registers_; }
    const FaultSet& Faults() const { return faults_; }
    std::uint16_t SwitchValue() const { return switchValue_; }
    std::uint16_t SetupWord() const { return setupWord_; }
    std::int64_t NowNs() const { return clock_->Now().count(); }

protected:
    // Brings the card up to the clock's time; called before every control and
    // before the range finder takes bytes.
    virtual void CatchUp(std::int64_t nowNs) = 0;
    virtual void OnReset() = 0;
    virtual void OnSamplingStart() = 0;
    virtual void OnSamplingStop() = 0;
    virtual void OnClearSampleBuffer() = 0;
    virtual void OnEncoderControl(std::uint16_t word) = 0;
    virtual void OnRegisterWritten(std::uint16_t reg, std::uint16_t value, CardMode before) = 0;
    // Writes at most `maxRecords` whole records to `output`; the count written.
    virtual std::size_t OnBlockRead(std::span<std::byte> output, std::size_t maxRecords) = 0;
    virtual StatusRecord OnStatus() = 0;
    virtual void OnRangeFinderChanged() = 0;
    virtual void OnCardClosed() = 0;

private:
    bool Rejects(std::uint32_t code);

    std::shared_ptr<platform::Clock> clock_;
    FaultSet faults_;
    RangeFinder rangeFinder_;
    CardRegisters registers_;
    std::map<std::uint32_t, std::uint64_t> issues_;
    bool enableArmed_ = false;
    bool cardOpen_ = false;
    std::uint16_t switchValue_ = 0;
    std::uint16_t setupWord_ = 0;
};

}  // namespace velscan::sim
