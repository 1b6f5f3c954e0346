#include <cstdio>
#include <variant>

#include "acquisition/command_line.hpp"
#include "acquisition/exit_codes.hpp"
#include "acquisition/run_acquisition.hpp"

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
    return velscan::RunAcquisition(std::get<velscan::RunSettings>(commandLine));
}
