#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "acquisition/backend_chooser.hpp"
#include "acquisition/command_line.hpp"
#include "acquisition/exit_codes.hpp"
#include "acquisition/run_acquisition.hpp"
#include "acquisition/run_environment.hpp"
#include "platform/backend.hpp"
#include "platform/console.hpp"

int main(int argc, char** argv) {
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

    // The hardware (or its simulation) comes from the environment, read and
    // checked at once before any file is created.
    std::string error;
    std::optional<velscan::ChosenBackend> chosen =
        velscan::ChooseBackend([](const char* name) { return std::getenv(name); }, error);
    if (!chosen) {
        std::fputs(error.c_str(), stderr);
        return velscan::kExitCommandLine;
    }
    // The keyboard from the start, so keys typed during the mirror's run-up
    // wait unechoed and are read one per line.
    const std::unique_ptr<velscan::platform::Console> console =
        velscan::platform::CreateSystemConsole();
    const velscan::RunEnvironment environment{*console, *chosen->seam.clock, chosen->laserHint,
                                              chosen->cardHint, chosen->openFailures};
    const velscan::platform::ScopedBackend active(std::move(chosen->seam));
    return velscan::RunAcquisition(std::get<velscan::RunSettings>(commandLine), environment);
}
