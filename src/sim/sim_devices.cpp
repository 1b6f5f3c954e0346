#include "sim/sim_devices.hpp"

namespace velscan::sim {

namespace {

class SimulatedCardDevice final : public platform::CardDevice {
public:
    explicit SimulatedCardDevice(std::shared_ptr<SimulatedHardware> card) : card_(std::move(card)) {}
    ~SimulatedCardDevice() override { card_->CloseCard(); }
    SimulatedCardDevice(const SimulatedCardDevice&) = delete;
    SimulatedCardDevice& operator=(const SimulatedCardDevice&) = delete;

    platform::ControlResult Control(std::uint32_t code, std::span<const std::byte> input,
                                    std::span<std::byte> output) override {
        return card_->Control(code, input, output);
    }

private:
    std::shared_ptr<SimulatedHardware> card_;
};

class SimulatedSerialPort final : public platform::SerialPort {
public:
    SimulatedSerialPort(std::shared_ptr<SerialSink> sink, std::shared_ptr<PortGate> gate)
        : sink_(std::move(sink)), gate_(std::move(gate)) {}
    ~SimulatedSerialPort() override { Close(); }
    SimulatedSerialPort(const SimulatedSerialPort&) = delete;
    SimulatedSerialPort& operator=(const SimulatedSerialPort&) = delete;

    bool SetEventMask(std::uint32_t) override { return open_; }
    bool SetQueueSizes(std::uint32_t, std::uint32_t) override { return open_; }
    bool Purge(std::uint32_t) override { return open_; }
    bool SetTimeouts(const platform::CommTimeouts&) override { return open_; }
    bool ApplyLineSettings(std::uint32_t) override { return open_; }
    bool SetDtr(bool) override { return open_; }
    platform::WriteOutcome Write(std::span<const std::uint8_t> bytes) override {
        if (!open_) return platform::WriteOutcome::Failed;
        sink_->ReceiveSerialBytes(bytes);
        return platform::WriteOutcome::Completed;
    }
    void Close() override {
        if (!open_) return;
        open_ = false;
        gate_->Release();
    }

private:
    std::shared_ptr<SerialSink> sink_;
    std::shared_ptr<PortGate> gate_;
    bool open_ = true;
};

}  // namespace

std::unique_ptr<platform::CardDevice> OpenSimulatedCard(std::shared_ptr<SimulatedHardware> card) {
    if (!card->OpenCard()) return nullptr;
    return std::make_unique<SimulatedCardDevice>(std::move(card));
}

std::unique_ptr<platform::SerialPort> OpenSimulatedPort(std::shared_ptr<SerialSink> sink,
                                                        std::shared_ptr<PortGate> gate) {
    if (!gate->TryOpen()) return nullptr;
    return std::make_unique<SimulatedSerialPort>(std::move(sink), std::move(gate));
}

}  // namespace velscan::sim
