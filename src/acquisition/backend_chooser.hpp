#pragma once
// Chooses the run's backend from the environment, read once at start:
//   VELSCAN_SIM=1          simulate the whole instrument
//   VELSCAN_CARD           sim, replay:PATH, or a device path
//   VELSCAN_LASER          sim, or a serial device used instead of COM<n>
//   VELSCAN_CLOCK          real (default) or virtual (simulated/replayed card only)
//   VELSCAN_SIM_SCENE, VELSCAN_SIM_SEED, VELSCAN_SIM_FAULTS
//   VELSCAN_CAPTURE        where the raw capture goes (default TABLE.capture), or off
//   VELSCAN_TRACE          a trace of every call at the hardware seam
//   VELSCAN_PROFILE        the instrument profile (scanfile/instrument_profile.hpp)
//   VELSCAN_POSE           the scan's pose in the site (scanfile/site_pose.hpp)
//   VELSCAN_LIVE, VELSCAN_PICTURES   "off" turns the live page, or the finished
//                          table's picture and viewer, off
// An empty variable counts as unset. Every variable is read and checked before
// the first file (capture, trace) is created. The console is not part of the
// choice: the entry point creates the system console itself.

#include <functional>
#include <optional>
#include <string>

#include "platform/backend.hpp"
#include "scanfile/capture_file.hpp"
#include "scanfile/instrument_profile.hpp"
#include "scanfile/site_pose.hpp"
#include "platform/host.hpp"

namespace velscan {

using platform::Host;
using platform::kThisHost;

// Looks up one environment variable; null when it is unset.
using EnvironmentReader = std::function<const char*(const char*)>;

enum class ClockChoice { Real, Virtual };
enum class LaserChoice {
    NumberedPort,  // the Windows port named by the port number
    Missing,       // no default on this host: the open fails
    Device,        // laserDevice, whatever the port number
    Simulated,     // also the range finder of a replay when no port is named
};
enum class CardChoice {
    Device,     // cardPath
    Missing,    // no default on this host: the open fails
    Simulated,
    Replay,     // cardPath is the capture file
};

// What the environment asks for, checked but not yet built.
struct BackendPlan {
    ClockChoice clock = ClockChoice::Real;
    bool simulateInstrument = false;
    LaserChoice laser = LaserChoice::Missing;
    std::string laserDevice;
    CardChoice card = CardChoice::Missing;
    std::string cardPath;
    // Passed on untouched to the simulated instrument and the capture.
    std::string simScene;
    std::string simSeed;
    std::string simFaults;
    std::string capturePath;
    // The capture is the one kept beside the table (VELSCAN_CAPTURE unset):
    // created only when sampling starts, so a run that records nothing
    // leaves an earlier one as it was.
    bool captureByDefault = false;
    bool captureOff = false;  // VELSCAN_CAPTURE=off
    std::string tracePath;
    // Read and checked with the rest, before the hardware is touched;
    // recorded in the table's metadata file.
    std::optional<InstrumentProfile> profile;
    std::optional<SitePose> pose;
    // The live page and the finished table's picture and viewer: on unless
    // VELSCAN_LIVE or VELSCAN_PICTURES is "off".
    bool liveView = true;
    bool pictures = true;
    // One line printed after the documented error when the port or the card
    // cannot be opened, saying which variable to set; empty when the host has
    // a default or the part is simulated (then the documented error and its
    // cause stand alone).
    std::string laserHint;
    std::string cardHint;
};

// The backend a plan builds: the seam behind the card library and the serial
// link. Its openers say why an open failed; the advice after a failed open is
// the plan's (laserHint, cardHint).
struct ChosenBackend {
    platform::Backend seam;
    // Closes the capture of raw records (VELSCAN_CAPTURE) at the end of the
    // run: empty when it holds every record, else one "Error: ...\n" line.
    // Empty function: no capture.
    std::function<std::string()> finishCapture;
    // The finished capture's records and digest (see RunContext).
    std::function<std::optional<CaptureFigures>()> captureFigures;
    // Puts the capture in place when sampling starts (see RunContext).
    std::function<std::string()> startCapture;
};

// Reads the variables and checks them for `host`. On a bad value: nullopt and
// `error` holds one complete line ("Error: ...\n") for standard error.
std::optional<BackendPlan> PlanBackend(const EnvironmentReader& getenv, Host host,
                                       std::string& error);

// The capture beside the table `table` when VELSCAN_CAPTURE names none and
// does not turn it off: TABLE.capture. None beside a table that is no regular
// file (a FIFO, a device: written in place, with no file beside it), nor
// where the table cannot be created (the run then fails on the table). A
// capture name that cannot be created while the table's can (a folder of
// that name, a name too long) leaves the capture out: the returned
// "Warning: ...\n" line says so; empty otherwise.
std::string ChooseDefaultCapture(BackendPlan& plan, const std::string& table);

// Builds the clock and the openers of a plan, and creates the capture and
// trace files it names, only once every part has been checked; nullopt and
// `error` when a part cannot be used or is not available in this build (then
// no file has been created).
std::optional<ChosenBackend> BuildBackend(const BackendPlan& plan, std::string& error);

}  // namespace velscan
