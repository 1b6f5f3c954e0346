#pragma once
// The run's first phase: opens the serial link and the card, greets and
// configures the range finder, calibrates and configures the card, and starts
// the mirror's motor. A stop request is looked at before and after every
// step; while this phase lasts a stop also cuts the steps' pauses short, so
// the run ends within a fraction of a second, and the motor is never started
// once a stop was asked for.

#include <cstdint>

#include "conversion/lookup_table.hpp"

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
    LookupReading lookup;           // what the lookup file's load came to
};

class Run;

// The run's board receives the card's board index once it is open.
// Everything opened or started is registered with the run's guard; a failure
// is the run's failure.
ConfigurationEnd ConfigureHardware(Run& run, ConfigurationProgress& progress);

}  // namespace velscan
