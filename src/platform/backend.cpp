#include "platform/backend.hpp"

#include <utility>

namespace velscan::platform {

namespace {

Backend SafeDefaultBackend() {
    Backend backend;
    backend.clock = std::make_shared<RealClock>();
    backend.openSerialPort = [](std::int32_t) {
        return SerialPortOpening(nullptr, "no serial port is installed");
    };
    backend.openCardDevice = [] { return CardDeviceOpening(nullptr, "no card is installed"); };
    return backend;
}

}  // namespace

Backend& ActiveBackend() {
    static Backend active = SafeDefaultBackend();
    return active;
}

ScopedBackend::ScopedBackend(Backend backend) : previous_(std::move(ActiveBackend())) {
    ActiveBackend() = std::move(backend);
}

ScopedBackend::~ScopedBackend() { ActiveBackend() = std::move(previous_); }

}  // namespace velscan::platform
