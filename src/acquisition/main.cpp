#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <variant>

#include "acquisition/command_line.hpp"
#include "acquisition/exit_codes.hpp"
#include "acquisition/run_acquisition.hpp"
#include "platform/backend.hpp"
#include "platform/backend_chooser.hpp"
#include "platform/console.hpp"
#include "platform/seam_trace.hpp"

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

    // The hardware (or its simulation) comes from the environment, read once.
    std::string error;
    std::optional<velscan::platform::Backend> backend =
        velscan::platform::ChooseBackend([](const char* name) { return std::getenv(name); }, error);
    if (!backend) {
        std::fputs(error.c_str(), stderr);
        return velscan::kExitCommandLine;
    }
    // A trace of every call at the hardware seam, when asked for.
    if (const char* trace = std::getenv("VELSCAN_TRACE"); trace != nullptr && *trace != '\0') {
        if (!velscan::platform::TraceBackend(*backend, trace, error)) {
            std::fputs(error.c_str(), stderr);
            return velscan::kExitCommandLine;
        }
    }
    // The keyboard from the start, so keys typed during the mirror's run-up
    // wait unechoed and are read one per line.
    backend->console = velscan::platform::CreateSystemConsole();
    const velscan::platform::ScopedBackend active(std::move(*backend));
    return velscan::RunAcquisition(std::get<velscan::RunSettings>(commandLine));
}
