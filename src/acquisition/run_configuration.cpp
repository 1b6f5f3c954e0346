#include "acquisition/run_configuration.hpp"

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

#include "acquisition/run.hpp"
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
    void (*explainFailure)(Run&, const ConfigurationProgress&) = nullptr;
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
void PrintOpenFailure(Run& run, const std::string& cause, const std::string& hint) {
    if (!cause.empty()) run.console.ErrorFormat("Cause: %s\n", PrintableText(cause).c_str());
    if (hint.empty()) return;
    run.console.ErrorFormat(hint.back() == '\n' ? "%s" : "%s\n", hint.c_str());
}

// The lookup file names the working directory's file; the line says which one
// that was, and why it was refused.
void PrintLookupFailure(Run& run, const ConfigurationProgress& progress) {
    std::error_code ignored;
    std::filesystem::path shown =
        std::filesystem::absolute(files::PathOf(kLookupFileName), ignored);
    if (shown.empty()) shown = kLookupFileName;
    const std::string& why = progress.lookup.failure;
    run.console.ErrorFormat("Cause: the lookup file %s cannot be used: %s\n",
                            PrintableText(files::NameOf(shown)).c_str(),
                            why.empty() ? "it could not be read" : why.c_str());
}

bool OpenLink(Run& run) {
    if (SerialLinkOpen(run.link, kLinkBaudRate, run.settings.portNumber) == 0) {
        run.Fail("Error: Serial Comm port open failed.\n");
        PrintOpenFailure(run, run.link.openFailure, run.context.plan.laserHint);
        return false;
    }
    run.guard.LinkOpened();
    SerialLinkSend(run.link, kGreetingCommand);
    platform::Pause(kCommandPauseMs);
    run.console.Error("Opened high speed interface.\n");
    return true;
}

bool OpenCard(Run& run) {
    std::string failure;
    const std::int32_t index = VexaOpen(run.settings.boardNumber, &run.link, &failure);
    if (index == -1) {
        run.Fail("Error: VexaOpen failed.\n");
        PrintOpenFailure(run, failure, run.context.plan.cardHint);
        return false;
    }
    run.guard.BoardOpened(index);
    run.board = static_cast<std::uint32_t>(index);
    return true;
}

// The card's configuration in the run's order.
std::array<Step, 8> CardSteps(const RunSettings& settings, std::uint32_t board,
                              ConfigurationProgress& progress) {
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
        {nullptr,
         [board, &progress] { return VexaLoadLookupFile(board, kLookupFileName, &progress.lookup) != 0; },
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
ConfigurationEnd RunSteps(Run& run, ConfigurationProgress& progress) {
    for (const Step& step : CardSteps(run.settings, run.board, progress)) {
        if (StopAsked()) return ConfigurationEnd::Stopped;
        if (step.announcement != nullptr) run.console.Error(step.announcement);
        if (step.tried != nullptr) progress.*step.tried = true;
        const bool done = step.run();
        if (done && step.succeeded != nullptr) progress.*step.succeeded = true;
        if (StopAsked()) return ConfigurationEnd::Stopped;
        if (done) continue;
        if (step.failureOnStandardOutput) {
            run.FailOnOutput(step.failure);
        } else {
            run.Fail(step.failure);
        }
        if (step.explainFailure != nullptr) step.explainFailure(run, progress);
        return ConfigurationEnd::Failed;
    }
    return ConfigurationEnd::Ready;
}

}  // namespace

ConfigurationEnd ConfigureHardware(Run& run, ConfigurationProgress& progress) {
    const platform::StopCutsPauses stopCutsPauses;
    if (StopAsked()) return ConfigurationEnd::Stopped;
    if (!OpenLink(run)) return ConfigurationEnd::Failed;
    if (StopAsked()) return ConfigurationEnd::Stopped;
    if (!OpenCard(run)) return ConfigurationEnd::Failed;

    const ConfigurationEnd configured = RunSteps(run, progress);
    if (configured != ConfigurationEnd::Ready) return configured;
    if (StopAsked()) return ConfigurationEnd::Stopped;

    // The command line admits only motors and powers the card takes, so a
    // motor that did not start was refused by the card: the run does not
    // record a mirror that stands still.
    const auto motor = static_cast<std::uint32_t>(run.settings.motorNumber);
    if (VexaSetMotorPower(run.board, motor, static_cast<std::uint32_t>(run.settings.motorPower)) != 1) {
        run.Fail("Error: the card refused to start the mirror's motor\n");
        return ConfigurationEnd::Failed;
    }
    run.guard.MotorStarted(motor);
    return ConfigurationEnd::Ready;
}

}  // namespace velscan
