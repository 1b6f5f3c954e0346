// A complete default run (200 lines) on the simulated instrument in virtual
// time, in process: setup, the 20 s mirror wait (free in virtual time), the
// conversion of 1,000,000 samples and the writing of the table. The goal is
// at most 2 s of process time per run.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <filesystem>
#include <string>

#include "acquisition/backend_chooser.hpp"
#include "acquisition/run_acquisition.hpp"
#include "platform/backend.hpp"
#include "platform/console.hpp"

namespace {

namespace fs = std::filesystem;

// The run's documented lines go to the null device, not into the report.
class QuietStandardStreams {
public:
    QuietStandardStreams() : out_(dup(1)), err_(dup(2)) {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        close(null);
    }
    ~QuietStandardStreams() {
        std::fflush(stdout);
        dup2(out_, 1);
        dup2(err_, 2);
        close(out_);
        close(err_);
    }

private:
    int out_;
    int err_;
};

// No key is ever pressed.
class IdleConsole final : public velscan::platform::Console {
public:
    bool KeyWaiting() override { return false; }
    int ReadKey() override { return -1; }
};

void SimulatedDefaultRun(benchmark::State& state) {
    const fs::path directory = fs::temp_directory_path() / "velscan-run-bench";
    fs::create_directories(directory);
    fs::copy_file(VELSCAN_LOOKUP_FILE, directory / "LOOKUPHS",
                  fs::copy_options::overwrite_existing);
    const fs::path previous = fs::current_path();
    fs::current_path(directory);

    velscan::RunSettings settings;
    settings.outputFileName = "scan.txt";
    for (auto _ : state) {
        std::string error;
        const auto plan = velscan::PlanBackend(
            [](const char* name) -> const char* {
                if (std::strcmp(name, "VELSCAN_SIM") == 0) return "1";
                if (std::strcmp(name, "VELSCAN_CLOCK") == 0) return "virtual";
                return nullptr;
            },
            velscan::kThisHost, error);
        auto chosen = plan ? velscan::BuildBackend(*plan, error) : std::nullopt;
        if (!chosen) {
            state.SkipWithError(error.c_str());
            break;
        }
        IdleConsole console;
        const velscan::RunContext context{console,
                                          *chosen->seam.clock,
                                          *plan,
                                          chosen->finishCapture,
                                          {"velscan", settings.outputFileName},
                                          &velscan::platform::WallClockNow,
                                          chosen->captureFigures,
                                          chosen->startCapture};
        const velscan::platform::ScopedBackend active(std::move(chosen->seam));
        QuietStandardStreams quiet;
        benchmark::DoNotOptimize(velscan::RunAcquisition(settings, context));
    }
    state.SetItemsProcessed(state.iterations() * 1000000);

    fs::current_path(previous);
    fs::remove_all(directory);
}
BENCHMARK(SimulatedDefaultRun)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
