#pragma once
// The process-wide backend: which clock, console, serial port and card device
// the program uses. The card library and the serial link reach the hardware
// only through it, so tests and the simulated instrument can stand in.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/card_device.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/serial_port.hpp"

namespace velscan::platform {

struct Backend {
    std::shared_ptr<Clock> clock;
    std::shared_ptr<Console> console;
    // Opens the range finder's port for a port number ("COM%d" on Windows).
    std::function<std::unique_ptr<SerialPort>(std::int32_t portNumber)> openSerialPort;
    // Opens the card's device.
    std::function<std::unique_ptr<CardDevice>()> openCardDevice;
    // One line printed after the documented error when the port or the card
    // cannot be opened, saying which variable to set; empty when the host has a
    // default (then the documented error stands alone).
    std::string laserHint;
    std::string cardHint;
    // Asked between the steps of the long waits (the mirror's run-up, a line
    // being read): true ends the wait early. Empty: waits run their length.
    std::function<bool()> cancelWait;
    // Closes the capture of raw records (VELSCAN_CAPTURE) at the end of the
    // run: empty when it holds every record, else one "Error: ...\n" line.
    // Empty function: no capture.
    std::function<std::string()> finishCapture;
};

// The active backend. Until one is installed: a real clock, no console, and
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

// Every wait of the program.
inline void Pause(std::uint32_t ms) { ActiveBackend().clock->SleepMs(ms); }

}  // namespace velscan::platform
