#pragma once
// Chooses the run's backend from the environment, read once at start:
//   VELSCAN_SIM=1          simulate the whole instrument
//   VELSCAN_CARD           sim, replay:PATH, or a device path
//   VELSCAN_LASER          sim, or a serial device used instead of COM<n>
//   VELSCAN_CLOCK          real (default) or virtual (simulated/replayed card only)
//   VELSCAN_SIM_SCENE, VELSCAN_SIM_SEED, VELSCAN_SIM_FAULTS, VELSCAN_CAPTURE
// An empty variable counts as unset. The console is not part of the choice:
// the entry point installs CreateSystemConsole() itself.

#include <functional>
#include <optional>
#include <string>

#include "platform/backend.hpp"

namespace velscan::platform {

// Looks up one environment variable; null when it is unset.
using EnvironmentReader = std::function<const char*(const char*)>;

enum class Host { Windows, Posix };
#ifdef _WIN32
inline constexpr Host kThisHost = Host::Windows;
#else
inline constexpr Host kThisHost = Host::Posix;
#endif

enum class ClockChoice { Real, Virtual };
enum class LaserChoice {
    NumberedPort,  // the Windows port named by the port number
    Missing,       // no default on this host: the open fails
    Device,        // laserDevice, whatever the port number
    Simulated,
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
    std::string laserHint;
    std::string cardHint;
};

// Reads the variables and checks them for `host`. On a bad value: nullopt and
// `error` holds one complete line ("Error: ...\n") for standard error.
std::optional<BackendPlan> PlanBackend(const EnvironmentReader& getenv, Host host,
                                       std::string& error);

// Builds the clock and the openers of a plan; nullopt and `error` when a part
// it asks for is not available in this build.
std::optional<Backend> BuildBackend(const BackendPlan& plan, std::string& error);

// PlanBackend for this host, then BuildBackend.
std::optional<Backend> ChooseBackend(const EnvironmentReader& getenv, std::string& error);

}  // namespace velscan::platform
