#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "acquisition/backend_chooser.hpp"
#include "acquisition/command_line.hpp"
#include "acquisition/exit_codes.hpp"
#include "acquisition/file_conflicts.hpp"
#include "acquisition/known_variables.hpp"
#include "acquisition/prompt_stop.hpp"
#include "acquisition/run_acquisition.hpp"
#include "acquisition/run_context.hpp"
#include "conversion/lookup_table.hpp"
#include "conversion/printable_text.hpp"
#include "platform/backend.hpp"
#include "platform/console.hpp"
#include "platform/terminal.hpp"
#include "platform/files/console_window.hpp"
#include "platform/files/standard_streams.hpp"
#include "platform/environment.hpp"
#include "platform/system_facts.hpp"

namespace {

int RunProgram(int argc, char** argv) {
    const velscan::CommandLine commandLine = velscan::ParseCommandLine(argc, argv, stdout, stderr);

    if (const auto* usage = std::get_if<velscan::ShowUsage>(&commandLine)) {
        velscan::PrintUsage(stdout);
        std::fflush(stdout);
        if (usage->asked) return velscan::kExitSuccess;
        // On a terminal the wait for Enter would look like a hang without a word.
        if (velscan::platform::IsTerminal(stdin)) {
            std::fputs("Press Enter to end the program.\n", stderr);
        }
        // On a console this waits until the operator presses Enter.
        (void)std::getchar();
        return velscan::kExitUsage;
    }
    if (std::holds_alternative<velscan::ShowVersion>(commandLine)) {
        velscan::PrintVersion(stdout);
        std::fflush(stdout);
        return velscan::kExitSuccess;
    }
    if (const auto* error = std::get_if<velscan::CommandLineError>(&commandLine)) {
        return error->exitCode;
    }
    const auto& settings = std::get<velscan::RunSettings>(commandLine);

    // The hardware (or its simulation) comes from the environment, read and
    // checked at once; everything refused with exit code 2 is refused before
    // any file exists.
    const auto getenv = [](const char* name) { return velscan::platform::EnvironmentValue(name); };
    std::fputs(velscan::UnknownVariableWarnings(velscan::platform::EnvironmentNames()).c_str(),
               stderr);
    std::string error;
    std::optional<velscan::BackendPlan> plan = velscan::PlanBackend(getenv, velscan::kThisHost, error);
    if (!plan) {
        std::fputs(error.c_str(), stderr);
        return velscan::kExitCommandLine;
    }
    std::fputs(velscan::ChooseDefaultCapture(*plan, settings.outputFileName).c_str(), stderr);
    const bool replay = plan->card == velscan::CardChoice::Replay;
    if (const auto refusal = velscan::CheckRunFiles({.output = settings.outputFileName,
                                                     .capture = plan->capturePath,
                                                     .captureByDefault = plan->captureByDefault,
                                                     .trace = plan->tracePath,
                                                     .lookup = velscan::kLookupFileName,
                                                     .scene = plan->simScene,
                                                     .replay = replay ? plan->cardPath : ""})) {
        std::fputs(refusal->c_str(), stderr);
        return velscan::kExitCommandLine;
    }
    std::optional<velscan::ChosenBackend> chosen = velscan::BuildBackend(*plan, error);
    if (!chosen) {
        std::fputs(error.c_str(), stderr);
        return velscan::kExitCommandLine;
    }
    // A stop request ends the mirror's run-up and a long line early.
    chosen->seam.cancelWait = velscan::StopCutsWaitsShort();
    // The keyboard from the start, so keys typed during the mirror's run-up
    // wait unechoed and are read one per line.
    const std::unique_ptr<velscan::platform::Console> console =
        velscan::platform::CreateSystemConsole();
    const velscan::RunContext context{*console,
                                      *chosen->seam.clock,
                                      *plan,
                                      chosen->finishCapture,
                                      std::vector<std::string>(argv, argv + argc),
                                      &velscan::platform::WallClockNow,
                                      chosen->captureFigures,
                                      chosen->startCapture,
                                      plan->liveView,
                                      plan->pictures};
    const velscan::platform::ScopedBackend active(std::move(chosen->seam));
    return velscan::RunAcquisition(settings, context);
}

}  // namespace

// Nothing unexpected leaves the program as a crash: the run's guards have
// stopped the motor, closed link and card and removed the unfinished file on
// the way here.
int main(int argc, char** argv) {
    // Before any file is opened, so that none takes the number of a closed
    // standard stream and receives console lines.
    (void)velscan::files::OpenClosedStandardStreams();
    int exitCode = velscan::kExitRunFailed;
    try {
        exitCode = RunProgram(argc, argv);
    } catch (const std::exception& problem) {
        std::fprintf(stderr, "Error: the run failed unexpectedly: %s\n",
                     velscan::PrintableText(problem.what()).c_str());
    } catch (...) {
        std::fputs("Error: the run failed unexpectedly.\n", stderr);
    }
    // A table name dropped on the program in the Explorer: its window stays
    // open after a failure until a key is pressed. The usage text has had its
    // own wait for Enter already.
    if (exitCode == velscan::kExitUsage) return exitCode;
    return velscan::files::HoldConsoleWindowAfterFailure(exitCode);
}
