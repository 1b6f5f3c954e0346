#pragma once
// The run's first phase: opens the serial link and the card, greets and
// configures the range finder, calibrates and configures the card, and starts
// the mirror's motor. A stop request is looked at before and after every
// step; while this phase lasts a stop also cuts the steps' pauses short, so
// the run ends within a fraction of a second, and the motor is never started
// once a stop was asked for.

#include <cstdint>

#include "acquisition/command_line.hpp"
#include "acquisition/run_console.hpp"
#include "acquisition/run_context.hpp"
#include "acquisition/run_guard.hpp"
#include "laserlink/serial_link.hpp"

namespace velscan {

enum class ConfigurationEnd {
    Ready,    // everything configured, the motor started (when it could be)
    Failed,   // a step failed; its message is printed
    Stopped,  // a stop request came first
};

// How far the card's configuration came, for the run's metadata.
struct ConfigurationProgress {
    bool calibrated = false;        // VexaCalibrate gave a calibration value
    bool lookupAttempted = false;   // the lookup file's load was tried
    bool lookupRead = false;        // ... and the file was read
    bool rangeSet = false;          // the averaging count was computed
};

// `board` receives the card's board index once it is open. Everything opened
// or started is registered with `guard`.
ConfigurationEnd ConfigureHardware(const RunSettings& settings, const RunContext& context,
                                   RunConsole& console, SerialLink& link, RunGuard& guard,
                                   std::uint32_t& board, ConfigurationProgress& progress);

}  // namespace velscan
