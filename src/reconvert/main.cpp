// velscan-reconvert CAPTURE TABLE [--lookup PATH] [-s N] [-r N]

#include <cstdio>
#include <string>
#include <vector>

#include "scanfile/program_version.hpp"
#include "platform/files/console_window.hpp"
#include "platform/files/forced_end.hpp"
#include "platform/files/standard_streams.hpp"
#include "reconvert/reconvert.hpp"
#include "reconvert/reconvert_options.hpp"

namespace {

int RunProgram(int argc, char** argv) {
    velscan::files::IgnoreWriteSignals();
    const std::vector<std::string> commandLine(argv, argv + argc);
    const auto parsed = velscan::reconvert::ParseReconvertOptions({commandLine.begin() + (argc > 0 ? 1 : 0), commandLine.end()});
    if (std::holds_alternative<velscan::reconvert::VersionRequested>(parsed)) {
        std::printf("velscan-reconvert %s\n", velscan::ProgramVersion());
        return 0;
    }
    if (const auto* usage = std::get_if<velscan::reconvert::UsageError>(&parsed)) {
        if (usage->message.empty()) {
            std::fputs(velscan::reconvert::kReconvertUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "velscan-reconvert: Error: %s\n", usage->message.c_str());
        std::fputs(velscan::reconvert::kReconvertUsage, stderr);
        return 2;
    }
    // A request to end removes the unfinished table and metadata file.
    velscan::files::EndOnRequestRemovingUnfinishedFiles();
    return velscan::reconvert::Reconvert(std::get<velscan::reconvert::ReconvertOptions>(parsed), commandLine,
                                         stdout, stderr);
}

}  // namespace

// A capture dropped on the program in the Explorer: its window stays open
// after a failure until a key is pressed.
int main(int argc, char** argv) {
    velscan::files::OpenClosedStandardStreams();
    return velscan::files::HoldConsoleWindowAfterFailure(RunProgram(argc, argv));
}
