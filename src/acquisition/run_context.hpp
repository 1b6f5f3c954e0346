#pragma once
// What a run is given besides its settings: the console it polls for the stop
// key, the clock it measures its progress on, the plan of the backend it was
// started with (its parts, seed, faults, clock, replay and capture paths, and
// the advice after a failed open), and what closes the capture.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/backend_chooser.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/system_facts.hpp"
#include "scanfile/capture_file.hpp"

namespace velscan {

struct RunContext {
    platform::Console& keyboard;
    const platform::Clock& clock;
    const BackendPlan& plan;
    // Closes the capture at the end of the run: empty when it holds every
    // record, else one "Error: ...\n" line. Empty function: no capture.
    std::function<std::string()> finishCapture;
    // The arguments as the program was given them, its own name first, and
    // the wall clock its metadata's time stamps are read from (a test fixes
    // it; waits never use it).
    std::vector<std::string> commandLine;
    platform::WallClock wallClock;
    // The capture's records and digest once it is finished with every record
    // and is a regular file; nullopt else. Empty function: not known.
    std::function<std::optional<CaptureFigures>()> captureFigures;
    // Puts the capture in place when sampling is about to start (a capture
    // made at once is there already): empty, else one "Error: ...\n" line.
    // Empty function: nothing to do.
    std::function<std::string()> startCapture;
    // The live page and the finished table's picture and viewer, drawn by the
    // follower velscan-live: the program takes them from its plan
    // (VELSCAN_LIVE, VELSCAN_PICTURES); off for a run made any other way.
    bool liveView = false;
    bool pictures = false;
};

}  // namespace velscan
