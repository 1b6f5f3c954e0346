#pragma once
// The process-wide backend: the clock, the openers of the serial port and the
// card device, and the test that ends a long wait early, so tests and the
// simulated instrument can stand in. Its users are the entry points whose
// signatures are fixed and so cannot take them as parameters: VexaOpen and
// SerialLinkOpen (the openers), Pause, the one way every wait goes (the
// clock), VexaReadSamples (the clock, for its delivery time-out), and the
// waits that a stop cuts short (CancellablePause and the stop's grace time in
// acquisition/prompt_stop: the clock and cancelWait). Everything else gets
// its console and clock as parameters.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/card_device.hpp"
#include "platform/clock.hpp"
#include "platform/interrupt.hpp"
#include "platform/serial_port.hpp"

namespace velscan::platform {

struct Backend {
    std::shared_ptr<Clock> clock;
    // Opens the range finder's port for a port number ("COM%d" on Windows):
    // the port, or why it could not be opened.
    std::function<SerialPortOpening(std::int32_t portNumber)> openSerialPort;
    // Opens the card's device: the device, or why it could not be opened.
    std::function<CardDeviceOpening()> openCardDevice;
    // Asked between the steps of the long waits (the mirror's run-up, a line
    // being read): true ends the wait early. Empty: waits run their length.
    std::function<bool()> cancelWait;
};

// The active backend. Until one is installed: a real clock and
// openers that fail, so nothing reaches hardware by accident.
Backend& ActiveBackend();

// Installs a backend for the lifetime of the guard and restores the previous
// one afterwards (tests, and the entry point for the whole run).
class ScopedBackend {
public:
    explicit ScopedBackend(Backend backend);
    ~ScopedBackend();
    ScopedBackend(const ScopedBackend&) = delete;
    ScopedBackend& operator=(const ScopedBackend&) = delete;

private:
    Backend previous_;
};

// Every wait of the program. While a stop cuts pauses short (see
// StopCutsPauses), a wait after the stop request passes at once.
inline void Pause(std::uint32_t ms) {
    if (PausesCutByStop()) return;
    ActiveBackend().clock->SleepMs(ms);
}

}  // namespace velscan::platform
