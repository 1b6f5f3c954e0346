#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <utility>
#include <variant>

#include "acquisition/command_line.hpp"
#include "acquisition/exit_codes.hpp"
#include "acquisition/file_conflicts.hpp"
#include "acquisition/prompt_stop.hpp"
#include "acquisition/run_acquisition.hpp"
#include "conversion/lookup_table.hpp"
#include "platform/backend.hpp"
#include "platform/backend_chooser.hpp"
#include "platform/console.hpp"
#include "platform/seam_trace.hpp"

namespace {

int RunProgram(int argc, char** argv) {
    const velscan::CommandLine commandLine = velscan::ParseCommandLine(argc, argv, stdout, stderr);

    if (std::holds_alternative<velscan::ShowUsage>(commandLine)) {
        velscan::PrintUsage(stdout);
        std::fflush(stdout);
        // On a console this waits until the operator presses Enter.
        (void)std::getchar();
        return velscan::kExitUsage;
    }
    if (const auto* error = std::get_if<velscan::CommandLineError>(&commandLine)) {
        return error->exitCode;
    }
    const auto& settings = std::get<velscan::RunSettings>(commandLine);

    // The hardware (or its simulation) comes from the environment, read once.
    const auto getenv = [](const char* name) { return std::getenv(name); };
    std::string error;
    std::optional<velscan::platform::BackendPlan> plan =
        velscan::platform::PlanBackend(getenv, velscan::platform::kThisHost, error);
    if (!plan) {
        std::fputs(error.c_str(), stderr);
        return velscan::kExitCommandLine;
    }
    const char* tracePath = std::getenv("VELSCAN_TRACE");
    const std::string trace = tracePath != nullptr ? tracePath : "";

    // Everything refused with exit code 2 is refused before any file exists.
    const bool replay = plan->card == velscan::platform::CardChoice::Replay;
    if (const auto refusal = velscan::CheckRunFiles({.output = settings.outputFileName,
                                                     .capture = plan->capturePath,
                                                     .trace = trace,
                                                     .lookup = velscan::kLookupFileName,
                                                     .scene = plan->simScene,
                                                     .replay = replay ? plan->cardPath : ""})) {
        std::fputs(refusal->c_str(), stderr);
        return velscan::kExitCommandLine;
    }

    std::optional<velscan::platform::Backend> backend =
        velscan::platform::BuildBackend(*plan, error);
    if (!backend) {
        std::fputs(error.c_str(), stderr);
        return velscan::kExitCommandLine;
    }
    // A trace of every call at the hardware seam, when asked for.
    if (!trace.empty() && !velscan::platform::TraceBackend(*backend, trace, error)) {
        std::fputs(error.c_str(), stderr);
        return velscan::kExitCommandLine;
    }
    // A stop request ends the mirror's run-up and a long line early.
    backend->cancelWait = velscan::StopCutsWaitsShort();
    // The keyboard from the start, so keys typed during the mirror's run-up
    // wait unechoed and are read one per line.
    backend->console = velscan::platform::CreateSystemConsole();
    const velscan::platform::ScopedBackend active(std::move(*backend));
    return velscan::RunAcquisition(settings);
}

}  // namespace

// Nothing unexpected leaves the program as a crash: the run's guards have
// stopped the motor, closed link and card and removed the unfinished file on
// the way here.
int main(int argc, char** argv) {
    try {
        return RunProgram(argc, argv);
    } catch (const std::exception& problem) {
        std::fprintf(stderr, "Error: the run failed unexpectedly: %s\n", problem.what());
    } catch (...) {
        std::fputs("Error: the run failed unexpectedly.\n", stderr);
    }
    return velscan::kExitRunFailed;
}
