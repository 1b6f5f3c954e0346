#include "acquisition/backend_chooser.hpp"

#include <filesystem>
#include <string_view>
#include <system_error>

#include "acquisition/backend_simulation.hpp"
#include "acquisition/seam_trace.hpp"
#include "conversion/printable_text.hpp"
#include "platform/card_device.hpp"
#include "platform/files/creatable_file.hpp"
#include "platform/files/path_name.hpp"
#include "platform/serial_port_name.hpp"
#include "scanfile/file_names.hpp"

namespace velscan {

namespace {

constexpr std::string_view kSimValue = "sim";
constexpr std::string_view kReplayPrefix = "replay:";
constexpr const char* kCaptureCreateError = "VELSCAN_CAPTURE: cannot create ";
constexpr std::string_view kCaptureOff = "off";
// Why the open fails on a host that has no default device.
constexpr const char* kNoDefaultPort =
    "no serial device is named, and this system has no default one";
constexpr const char* kNoDefaultCard =
    "no card device is named, and this system has no default one";

// The variable's value; empty when it is unset or empty.
std::string Read(const EnvironmentReader& getenv, const char* name) {
    const char* value = getenv(name);
    return value ? std::string(value) : std::string();
}

constexpr const char* kLaserHint =
    "Set VELSCAN_LASER to the range finder's serial device (for example /dev/ttyUSB0), or "
    "VELSCAN_SIM=1 to simulate the instrument.\n";

constexpr const char* kCardHint =
    "The card's driver exists only on Windows: set VELSCAN_CARD=replay:PATH to play back a "
    "capture file, or VELSCAN_SIM=1 to simulate the instrument.\n";

bool ChooseSimulation(const std::string& value, BackendPlan& plan, std::string& error) {
    if (value.empty() || value == "0") return true;
    if (value == "1") {
        plan.simulateInstrument = true;
        return true;
    }
    error = "Error: VELSCAN_SIM must be 1 or 0, not \"" + PrintableText(value) + "\".\n";
    return false;
}

bool ChooseClock(const std::string& value, BackendPlan& plan, std::string& error) {
    if (value.empty() || value == "real") {
        plan.clock = ClockChoice::Real;
    } else if (value == "virtual") {
        plan.clock = ClockChoice::Virtual;
    } else {
        error = "Error: VELSCAN_CLOCK must be real or virtual, not \"" + PrintableText(value) +
                "\".\n";
        return false;
    }
    return true;
}

void ChooseLaser(const std::string& value, Host host, BackendPlan& plan) {
    if (value == kSimValue) {
        plan.laser = LaserChoice::Simulated;
    } else if (!value.empty()) {
        plan.laser = LaserChoice::Device;
        plan.laserDevice = value;
    } else if (plan.simulateInstrument) {
        plan.laser = LaserChoice::Simulated;
    } else if (host == Host::Windows) {
        plan.laser = LaserChoice::NumberedPort;
    } else {
        // No default elsewhere: guessing /dev/ttyS0 could write to the kernel console.
        plan.laser = LaserChoice::Missing;
        plan.laserHint = kLaserHint;
    }
}

bool ChooseCard(const std::string& value, Host host, BackendPlan& plan, std::string& error) {
    if (value == kSimValue) {
        plan.card = CardChoice::Simulated;
    } else if (value.starts_with(kReplayPrefix)) {
        plan.card = CardChoice::Replay;
        plan.cardPath = value.substr(kReplayPrefix.size());
        if (plan.cardPath.empty()) {
            error = "Error: VELSCAN_CARD=replay: needs the capture file's path after the colon.\n";
            return false;
        }
    } else if (!value.empty()) {
        plan.card = CardChoice::Device;
        plan.cardPath = value;
        if (host != Host::Windows) plan.cardHint = kCardHint;
    } else if (plan.simulateInstrument) {
        plan.card = CardChoice::Simulated;
    } else if (host == Host::Windows) {
        plan.card = CardChoice::Device;
        plan.cardPath = platform::kDefaultCardDevicePath;
    } else {
        plan.card = CardChoice::Missing;
        plan.cardHint = kCardHint;
    }
    return true;
}

// A file the plan names that could not be created makes the whole choice
// fail before anything is created.
bool CheckCreatable(const std::string& path, const std::string& message, std::string& error) {
    if (path.empty() || files::WhyFileCannotBeCreated(path).empty()) return true;
    error = "Error: " + message + PrintableText(path) + "\n";
    return false;
}

// The instrument profile and the pose, when named; an unusable one refuses
// the run before anything is opened.
bool ChooseProfileAndPose(const std::string& profilePath, const std::string& poseText, BackendPlan& plan,
                          std::string& error) {
    if (!profilePath.empty()) {
        ProfileReading reading = ReadProfileFile(profilePath);
        if (!reading.profile) {
            error = "Error: VELSCAN_PROFILE: " + PrintableText(profilePath) + " " + reading.problem + ".\n";
            return false;
        }
        plan.profile = std::move(reading.profile);
    }
    if (!poseText.empty()) {
        std::string problem;
        plan.pose = ParsePose(poseText, problem);
        if (!plan.pose) {
            error = "Error: VELSCAN_POSE: the pose " + PrintableText(problem) + ".\n";
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<BackendPlan> PlanBackend(const EnvironmentReader& getenv, Host host,
                                       std::string& error) {
    const std::string sim = Read(getenv, "VELSCAN_SIM");
    const std::string card = Read(getenv, "VELSCAN_CARD");
    const std::string laser = Read(getenv, "VELSCAN_LASER");
    const std::string clock = Read(getenv, "VELSCAN_CLOCK");

    BackendPlan plan;
    plan.simScene = Read(getenv, "VELSCAN_SIM_SCENE");
    plan.simSeed = Read(getenv, "VELSCAN_SIM_SEED");
    plan.simFaults = Read(getenv, "VELSCAN_SIM_FAULTS");
    plan.capturePath = Read(getenv, "VELSCAN_CAPTURE");
    if (plan.capturePath == kCaptureOff) {
        plan.capturePath.clear();
        plan.captureOff = true;
    }
    plan.tracePath = Read(getenv, "VELSCAN_TRACE");
    plan.liveView = Read(getenv, "VELSCAN_LIVE") != "off";
    plan.pictures = Read(getenv, "VELSCAN_PICTURES") != "off";

    if (!ChooseSimulation(sim, plan, error)) return std::nullopt;
    if (!ChooseClock(clock, plan, error)) return std::nullopt;
    ChooseLaser(laser, host, plan);
    if (!ChooseCard(card, host, plan, error)) return std::nullopt;
    // A replay paces its records at the range finder's sample period, so with
    // no port named the range finder is simulated and the period known.
    if (plan.card == CardChoice::Replay &&
        (plan.laser == LaserChoice::Missing || plan.laser == LaserChoice::NumberedPort)) {
        plan.laser = LaserChoice::Simulated;
        plan.laserHint.clear();
    }

    // Virtual time would make the card's pauses and time-outs meaningless to
    // real hardware; only a card that lives in the same time may use it.
    const bool cardKeepsVirtualTime =
        plan.card == CardChoice::Simulated || plan.card == CardChoice::Replay;
    if (plan.clock == ClockChoice::Virtual && !cardKeepsVirtualTime) {
        error = "Error: VELSCAN_CLOCK=virtual needs a simulated or replayed card "
                "(VELSCAN_SIM=1, VELSCAN_CARD=sim or VELSCAN_CARD=replay:PATH).\n";
        return std::nullopt;
    }
    if (!CheckFaults(plan, error)) return std::nullopt;
    if (!ChooseProfileAndPose(Read(getenv, "VELSCAN_PROFILE"), Read(getenv, "VELSCAN_POSE"), plan, error))
        return std::nullopt;
    return plan;
}

std::string ChooseDefaultCapture(BackendPlan& plan, const std::string& table) {
    if (plan.captureOff || !plan.capturePath.empty()) return {};
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(files::PathOf(table), error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return {};
    if (!files::WhyFileCannotBeCreated(table).empty()) return {};
    const std::string capture = CaptureFileName(table);
    if (const std::string why = files::WhyFileCannotBeCreated(capture); !why.empty()) {
        // Told as a metadata file with no room for its name is.
        if (why == std::make_error_code(std::errc::filename_too_long).message())
            return "Warning: no capture beside " + PrintableText(table) + ": the name " + PrintableText(capture) +
                   " is too long\n";
        return "Warning: no capture beside " + PrintableText(table) + ": " + PrintableText(capture) + ": " + why +
               "\n";
    }
    plan.capturePath = capture;
    plan.captureByDefault = true;
    return {};
}

std::optional<ChosenBackend> BuildBackend(const BackendPlan& plan, std::string& error) {
    // The default capture was checked when it was chosen.
    if (!plan.captureByDefault && !CheckCreatable(plan.capturePath, kCaptureCreateError, error)) return std::nullopt;
    if (!CheckCreatable(plan.tracePath, kTraceCreateError, error)) return std::nullopt;

    ChosenBackend chosen;
    platform::Backend& backend = chosen.seam;
    if (plan.clock == ClockChoice::Virtual) {
        backend.clock = std::make_shared<platform::VirtualClock>();
    } else {
        backend.clock = std::make_shared<platform::RealClock>();
    }

    switch (plan.laser) {
        case LaserChoice::NumberedPort:
            backend.openSerialPort = [](std::int32_t portNumber) {
                return platform::OpenSerialPortDevice(platform::SerialPortDeviceName(portNumber));
            };
            break;
        case LaserChoice::Device:
            backend.openSerialPort = [device = plan.laserDevice](std::int32_t) {
                return platform::OpenSerialPortDevice(device);
            };
            break;
        case LaserChoice::Missing:
            backend.openSerialPort = [](std::int32_t) {
                return platform::SerialPortOpening(nullptr, kNoDefaultPort);
            };
            break;
        case LaserChoice::Simulated:  // AttachSimulatedParts installs the opener
            backend.openSerialPort = [](std::int32_t) { return platform::SerialPortOpening(); };
            break;
    }

    if (plan.card == CardChoice::Device) {
        backend.openCardDevice = [path = plan.cardPath] {
            return platform::OpenCardDeviceFile(path);
        };
    } else if (plan.card == CardChoice::Missing) {
        backend.openCardDevice = [] {
            return platform::CardDeviceOpening(nullptr, kNoDefaultCard);
        };
    } else {  // AttachSimulatedParts installs the opener
        backend.openCardDevice = [] { return platform::CardDeviceOpening(); };
    }

    std::error_code ignored;
    // A default capture is created later, when sampling starts.
    const bool captureExisted =
        plan.captureByDefault ||
        (!plan.capturePath.empty() && std::filesystem::exists(files::PathOf(plan.capturePath), ignored));
    if (!AttachSimulatedParts(plan, chosen, error)) return std::nullopt;
    if (!plan.tracePath.empty() && !TraceBackend(backend, plan.tracePath, error)) {
        // Checked above, yet refused now: leave no new capture behind either.
        if (!plan.capturePath.empty() && !captureExisted)
            std::filesystem::remove(files::PathOf(plan.capturePath), ignored);
        return std::nullopt;
    }
    return chosen;
}

}  // namespace velscan
