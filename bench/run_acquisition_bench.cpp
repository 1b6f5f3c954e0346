// A complete default run (200 lines) on the simulated instrument in virtual
// time, in process: setup, the 20 s mirror wait (free in virtual time), the
// conversion of 1,000,000 samples and the writing of the table. The goal is
// at most 2 s of process time per run.
//
// The line loop per line, with the run's observer (each line's figures and
// the status line) and with the observer as it was before the figures (the
// status line alone): the figures may add at most 1 % of a line at the
// shortest period (5000 x 20 us = 100 ms, so 1 ms), and the two loops stay
// within 1 % of each other. The figures of one line alone are timed too.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "acquisition/backend_chooser.hpp"
#include "acquisition/line_loop.hpp"
#include "acquisition/measurement_file.hpp"
#include "acquisition/progress.hpp"
#include "acquisition/run_acquisition.hpp"
#include "acquisition/run_buffers.hpp"
#include "cardlib/vexa.hpp"
#include "laserlink/serial_link.hpp"
#include "platform/backend.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "sim/instrument.hpp"
#include "sim/lookup_source.hpp"
#include "sim/sim_devices.hpp"

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

using velscan::SerialLinkClose;
using velscan::SerialLinkOpen;
using velscan::VexaCalibrate;
using velscan::VexaClearSampleBuffer;
using velscan::VexaClose;
using velscan::VexaInitBoards;
using velscan::VexaLoadLookupFile;
using velscan::VexaOpen;
using velscan::VexaSamplingEnable;
using velscan::VexaSamplingModeInit;
using velscan::VexaSetEncoder;
using velscan::VexaSetMotorPower;
using velscan::VexaSetSampleAndRange;

// The simulated instrument set up and sampling, as the run leaves it before
// its line loop, in virtual time.
class SamplingInstrument {
public:
    SamplingInstrument() {
        velscan::sim::InstrumentOptions options;
        options.seed = 7;
        const auto synthesis = velscan::sim::SynthesisFromFile(VELSCAN_LOOKUP_FILE);
        options.synthesis = [synthesis] { return synthesis; };
        auto card = std::make_shared<velscan::sim::Instrument>(clock_, std::move(options));
        auto gate = std::make_shared<velscan::sim::PortGate>();
        velscan::platform::Backend backend;
        backend.clock = clock_;
        backend.openSerialPort = [card, gate](std::int32_t) { return velscan::sim::OpenSimulatedPort(card, gate); };
        backend.openCardDevice = [card] { return velscan::sim::OpenSimulatedCard(card); };
        scoped_.emplace(std::move(backend));
        VexaInitBoards();
        ok_ = synthesis != nullptr && SerialLinkOpen(link_, 9600, 1) == 1;
        const std::int32_t index = ok_ ? VexaOpen(1, &link_) : -1;
        ok_ = index >= 0;
        board_ = static_cast<std::uint32_t>(ok_ ? index : 0);
        ok_ = ok_ && VexaCalibrate(board_) == 1 && VexaSamplingModeInit(board_) == 1 &&
              VexaSetEncoder(board_, 1, 0, 4096) == 1 && VexaSetEncoder(board_, 2, 0, 200) == 1 &&
              VexaLoadLookupFile(board_, VELSCAN_LOOKUP_FILE) == 1 &&
              VexaSetSampleAndRange(board_, nullptr, 650, 20) == 1;
        if (!ok_) return;
        VexaSetMotorPower(board_, 1, 255);
        velscan::platform::Pause(20000);
        VexaClearSampleBuffer(board_);
        VexaSamplingEnable(board_);
    }
    ~SamplingInstrument() {
        SerialLinkClose(link_);
        if (ok_) VexaClose(board_);
        VexaInitBoards();
    }
    bool Ready() const { return ok_; }
    std::uint32_t Board() const { return board_; }
    const velscan::platform::Clock& Clock() const { return *clock_; }

private:
    std::shared_ptr<velscan::platform::VirtualClock> clock_ = std::make_shared<velscan::platform::VirtualClock>();
    std::optional<velscan::platform::ScopedBackend> scoped_;
    velscan::SerialLink link_;
    std::uint32_t board_ = 0;
    bool ok_ = false;
};

// The observer before the figures: the status line alone.
class StatusOnly final : public velscan::LineObserver {
public:
    StatusOnly(velscan::StatusLine& status, const velscan::platform::Clock& clock)
        : status_(status), clock_(clock), start_(clock.Now()) {}
    void LineRecorded(std::int32_t lines, std::span<const velscan::Measurement, velscan::kSamplesPerLine>,
                      bool) override {
        status_.Show(velscan::FormatSamplingStatus(lines, 200, clock_.Now() - start_));
    }

private:
    velscan::StatusLine& status_;
    const velscan::platform::Clock& clock_;
    std::chrono::nanoseconds start_;
};

// The run's observer: the figures, then the status line with them.
class WithFigures final : public velscan::LineObserver {
public:
    explicit WithFigures(velscan::SamplingProgress& progress) : progress_(progress) {}
    void LineRecorded(std::int32_t lines, std::span<const velscan::Measurement, velscan::kSamplesPerLine> line,
                      bool lost) override {
        progress_.LineRecorded(lines, line, lost);
    }

private:
    velscan::SamplingProgress& progress_;
};

constexpr std::int32_t kLinesPerIteration = 10;

// The status line is drawn (to the null device) in both, as on a terminal.
void LineLoop(benchmark::State& state, bool figures) {
    SamplingInstrument instrument;
    if (!instrument.Ready()) {
        state.SkipWithError("the simulated instrument did not start");
        return;
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> null(std::fopen("/dev/null", "w"), &std::fclose);
    velscan::StatusLine status(null.get(), true);
    IdleConsole console;
    velscan::SamplingProgress progress(status, instrument.Clock(), 200, 20, velscan::RunLineFigures());
    WithFigures withFigures(progress);
    StatusOnly statusOnly(status, instrument.Clock());
    velscan::LineObserver& observer = figures ? static_cast<velscan::LineObserver&>(withFigures) : statusOnly;
    for (auto _ : state) {
        progress.Begin();
        const auto result = velscan::RecordLines(instrument.Board(), kLinesPerIteration, velscan::RawLineBuffer(),
                                                 velscan::MeasurementArray(), console, observer);
        if (result.linesRecorded != kLinesPerIteration) {
            state.SkipWithError("the line loop ended early");
            break;
        }
    }
    // Seconds of CPU time per line.
    state.counters["per_line"] = benchmark::Counter(static_cast<double>(state.iterations() * kLinesPerIteration),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
void LineLoopStatusOnly(benchmark::State& state) { LineLoop(state, false); }
void LineLoopWithFigures(benchmark::State& state) { LineLoop(state, true); }
BENCHMARK(LineLoopStatusOnly)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(LineLoopWithFigures)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// The figures of one recorded line alone.
void FiguresOfOneLine(benchmark::State& state) {
    SamplingInstrument instrument;
    IdleConsole console;
    struct Nothing final : velscan::LineObserver {
        void LineRecorded(std::int32_t, std::span<const velscan::Measurement, velscan::kSamplesPerLine>,
                          bool) override {}
    } nothing;
    if (!instrument.Ready() || velscan::RecordLines(instrument.Board(), 1, velscan::RawLineBuffer(),
                                                    velscan::MeasurementArray(), console, nothing)
                                       .linesRecorded != 1) {
        state.SkipWithError("no line recorded");
        return;
    }
    const auto line = velscan::MeasurementArray().first(velscan::kSamplesPerLine);
    std::vector<double> scratch(velscan::kSamplesPerLine);
    for (auto _ : state) benchmark::DoNotOptimize(velscan::ComputeLineFigures(line, 20, false, scratch));
}
BENCHMARK(FiguresOfOneLine)->Unit(benchmark::kMicrosecond);

}  // namespace
