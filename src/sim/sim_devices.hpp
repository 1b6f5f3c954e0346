#pragma once
// The program-facing handles of the simulated hardware: a card device whose
// controls the simulated card answers, and a serial port whose bytes reach the
// simulated range finder. Both open exclusively, like the real devices.

#include <memory>

#include "platform/card_device.hpp"
#include "platform/serial_port.hpp"
#include "sim/serial_sink.hpp"
#include "sim/simulated_hardware.hpp"

namespace velscan::sim {

// Null while another handle of the card is open.
std::unique_ptr<platform::CardDevice> OpenSimulatedCard(std::shared_ptr<SimulatedHardware> card);

// Exclusive use of one simulated port.
class PortGate {
public:
    bool TryOpen() {
        if (open_) return false;
        open_ = true;
        return true;
    }
    void Release() { open_ = false; }

private:
    bool open_ = false;
};

// Null while the gate's port is open. Every call succeeds while the port is
// open; written bytes go to `sink`.
std::unique_ptr<platform::SerialPort> OpenSimulatedPort(std::shared_ptr<SerialSink> sink,
                                                        std::shared_ptr<PortGate> gate);

}  // namespace velscan::sim
