#include "acquisition/run_configuration.hpp"

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

#include "cardlib/vexa.hpp"
#include "conversion/beam_geometry.hpp"
#include "conversion/lookup_table.hpp"
#include "conversion/printable_text.hpp"
#include "laserlink/range_finder_commands.hpp"
#include "platform/backend.hpp"
#include "platform/files/path_name.hpp"
#include "platform/interrupt.hpp"

namespace velscan {

namespace {

constexpr std::uint32_t kLinkBaudRate = 9600;
constexpr std::uint32_t kEncoderMaskBoth = 3;

// One step of the card's configuration, with the line announcing it (or null)
// and the message of its failure.
struct Step {
    const char* announcement;
    std::function<bool()> run;
    const char* failure;
    bool failureOnStandardOutput = false;
    // Prints what the failure message leaves out, when there is more to say.
    void (*explainFailure)(RunConsole&) = nullptr;
    // Set when the step was tried / when it succeeded (null: not recorded).
    bool ConfigurationProgress::* tried = nullptr;
    bool ConfigurationProgress::* succeeded = nullptr;
};

// A second request (the forced end) is carried out here at once, since the
// pauses it would otherwise be noticed in pass without waiting.
bool StopAsked() {
    platform::HonourForcedEnd();
    return platform::InterruptRequested();
}

// After a failed open: why it failed, when the opener said, then the plan's
// advice, when it has any.
void PrintOpenFailure(RunConsole& console, const std::string& cause, const std::string& hint) {
    if (!cause.empty()) console.ErrorFormat("Cause: %s\n", PrintableText(cause).c_str());
    if (hint.empty()) return;
    console.ErrorFormat(hint.back() == '\n' ? "%s" : "%s\n", hint.c_str());
}

// The lookup file names the working directory's file; the line says which one
// that was, and why it was refused.
void PrintLookupFailure(RunConsole& console) {
    std::error_code ignored;
    std::filesystem::path shown =
        std::filesystem::absolute(files::PathOf(kLookupFileName), ignored);
    if (shown.empty()) shown = kLookupFileName;
    const std::string& why = LookupFileFailure();
    console.ErrorFormat("Cause: the lookup file %s cannot be used: %s\n",
                        PrintableText(files::NameOf(shown)).c_str(),
                        why.empty() ? "it could not be read" : why.c_str());
}

bool OpenLink(const RunSettings& settings, const RunContext& context, RunConsole& console,
              SerialLink& link, RunGuard& guard) {
    if (SerialLinkOpen(link, kLinkBaudRate, settings.portNumber) == 0) {
        console.Error("Error: Serial Comm port open failed.\n");
        PrintOpenFailure(console, link.openFailure, context.plan.laserHint);
        return false;
    }
    guard.LinkOpened();
    SerialLinkSend(link, kGreetingCommand);
    platform::Pause(kCommandPauseMs);
    console.Error("Opened high speed interface.\n");
    return true;
}

bool OpenCard(const RunSettings& settings, const RunContext& context, RunConsole& console,
              SerialLink& link, RunGuard& guard, std::uint32_t& board) {
    const std::int32_t index = VexaOpen(settings.boardNumber, &link);
    if (index == -1) {
        console.Error("Error: VexaOpen failed.\n");
        PrintOpenFailure(console, VexaOpenFailure(), context.plan.cardHint);
        return false;
    }
    guard.BoardOpened(index);
    board = static_cast<std::uint32_t>(index);
    return true;
}

// The card's configuration in the run's order.
std::array<Step, 8> CardSteps(const RunSettings& settings, std::uint32_t board) {
    return {{
        {nullptr, [board] { return VexaResetBoard(board) != 0; },
         "Error: VexaResetBoard failed.\n"},
        {"VEAX Card Calibration\n",
         [board] {
             VexaSetSwitch(board, 1);
             return VexaCalibrate(board) == 1;
         },
         "Error: Could not get calibration value\n", false, nullptr, nullptr,
         &ConfigurationProgress::calibrated},
        {"SamplingModeInit\n", [board] { return VexaSamplingModeInit(board) == 1; },
         "Error: Could not initialize sampling mode\n"},
        {nullptr, [board] { return VexaClearEncoder(board, kEncoderMaskBoth, 1) == 1; },
         "Error: Failed to clear encoder1\n"},
        {nullptr, [board] { return VexaSetEncoder(board, 1, 0, kMirrorEncoderCountsPerTurn) == 1; },
         "Error: Failed to set encoder1\n"},
        {nullptr,
         [board] { return VexaSetEncoder(board, 2, 0, kSlowAxisEncoderCountsPerTurn) == 1; },
         "Error: Failed to set encoder2\n"},
        {nullptr, [board] { return VexaLoadLookupFile(board, kLookupFileName) != 0; },
         "ERROR: Could not read calibration file\n", true, &PrintLookupFailure,
         &ConfigurationProgress::lookupAttempted, &ConfigurationProgress::lookupRead},
        // No link given: the card library sends through the link the slot holds.
        {nullptr,
         [&settings, board] {
             return VexaSetSampleAndRange(board, nullptr, settings.maxRange,
                                          static_cast<std::uint32_t>(settings.samplePeriod)) == 1;
         },
         "Error: Failed to set sample and range\n", false, nullptr, nullptr,
         &ConfigurationProgress::rangeSet},
    }};
}

// Runs the steps; a step that a stop cut short is not judged.
ConfigurationEnd RunSteps(const std::array<Step, 8>& steps, RunConsole& console,
                          ConfigurationProgress& progress) {
    for (const Step& step : steps) {
        if (StopAsked()) return ConfigurationEnd::Stopped;
        if (step.announcement != nullptr) console.Error(step.announcement);
        if (step.tried != nullptr) progress.*step.tried = true;
        const bool done = step.run();
        if (done && step.succeeded != nullptr) progress.*step.succeeded = true;
        if (StopAsked()) return ConfigurationEnd::Stopped;
        if (done) continue;
        if (step.failureOnStandardOutput) {
            console.Output(step.failure);
        } else {
            console.Error(step.failure);
        }
        if (step.explainFailure != nullptr) step.explainFailure(console);
        return ConfigurationEnd::Failed;
    }
    return ConfigurationEnd::Ready;
}

}  // namespace

ConfigurationEnd ConfigureHardware(const RunSettings& settings, const RunContext& context,
                                   RunConsole& console, SerialLink& link, RunGuard& guard,
                                   std::uint32_t& board, ConfigurationProgress& progress) {
    const platform::StopCutsPauses stopCutsPauses;
    if (StopAsked()) return ConfigurationEnd::Stopped;
    if (!OpenLink(settings, context, console, link, guard)) return ConfigurationEnd::Failed;
    if (StopAsked()) return ConfigurationEnd::Stopped;
    if (!OpenCard(settings, context, console, link, guard, board)) return ConfigurationEnd::Failed;

    const ConfigurationEnd configured = RunSteps(CardSteps(settings, board), console, progress);
    if (configured != ConfigurationEnd::Ready) return configured;
    if (StopAsked()) return ConfigurationEnd::Stopped;

    const auto motor = static_cast<std::uint32_t>(settings.motorNumber);
    // A motor that did not start (a bad motor number) needs no stop.
    if (VexaSetMotorPower(board, motor, static_cast<std::uint32_t>(settings.motorPower)) == 1)
        guard.MotorStarted(motor);
    return ConfigurationEnd::Ready;
}

}  // namespace velscan
