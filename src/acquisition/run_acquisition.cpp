#include "acquisition/run_acquisition.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "acquisition/exit_codes.hpp"
#include "acquisition/line_loop.hpp"
#include "acquisition/live_follower.hpp"
#include "acquisition/measurement_file.hpp"
#include "acquisition/progress.hpp"
#include "acquisition/run.hpp"
#include "acquisition/run_buffers.hpp"
#include "acquisition/run_configuration.hpp"
#include "acquisition/run_facts.hpp"
#include "acquisition/simulated_lookup.hpp"
#include "cardlib/vexa.hpp"
#include "conversion/printable_text.hpp"
#include "platform/cancellable_pause.hpp"
#include "platform/clock.hpp"

namespace velscan {

namespace {

// The mirror's run-up: 20 one-second pauses, so the console can count down.
constexpr std::int32_t kMirrorWaitSeconds = 20;
constexpr std::uint32_t kMirrorWaitStepMs = 1000;

constexpr const char* kStoppedBeforeSampling = "Stopped before sampling; nothing was recorded.\n";
constexpr const char* kStoppedBeforeFirstLine =
    "Stopped before the first line was complete; nothing was recorded.\n";

// The line loop's observer: the run's progress, which computes every
// line's figures and redraws the status line.
class SamplingObserver final : public LineObserver {
public:
    explicit SamplingObserver(SamplingProgress& progress) : progress_(progress) {}
    void LineRecorded(std::int32_t linesRecorded, std::span<const Measurement, kSamplesPerLine> line,
                      bool lostSamples) override {
        progress_.LineRecorded(linesRecorded, line, lostSamples);
    }

private:
    SamplingProgress& progress_;
};

// A real card (neither simulated nor replayed) with the simulated
// instrument's lookup file: the scan would be converted with made-up
// calibration, so the operator is told before the mirror's run-up, while
// there is time to stop and put the instrument's own file in place.
void WarnOfSimulatedLookup(Run& run) {
    const CardChoice card = run.context.plan.card;
    if (card == CardChoice::Simulated || card == CardChoice::Replay) return;
    const std::optional<std::string>& digest = run.facts.lookup.sha256;
    if (digest && *digest == kSimulatedLookupSha256) run.console.Error(kSimulatedLookupWarning);
}

// False when a stop request cut the run-up short.
bool WaitForMirror(Run& run) {
    run.console.Error("Waiting (20 sec.) for mirror to move\n");
    for (std::int32_t left = kMirrorWaitSeconds; left > 0; --left) {
        run.console.Status().Show(FormatMirrorWaitStatus(left));
        if (!platform::CancellablePause(kMirrorWaitStepMs)) return false;
    }
    run.facts.mirrorReadyTime = run.Stamp();
    return true;
}

// Before the first line: the motor stopped, link and card closed, nothing
// written, an existing file left as it was.
int EndWithNothingRecorded(Run& run, const char* message) {
    run.console.Status().Clear();
    run.StopMotor();
    run.guard.Release();
    run.console.Error(message);
    return kExitStoppedBeforeSampling;
}

// Enables sampling and records the lines, with the status line redrawn after each.
LineLoopResult Sample(Run& run) {
    // Both stores exist at full size before the run; the loop allocates nothing.
    const std::span<RawSample, kSamplesPerLine> rawLine = RawLineBuffer();
    const std::span<Measurement, kMeasurementCapacity> measurements = MeasurementArray();

    run.console.Error("Clear Sample Buffer\n");
    VexaClearSampleBuffer(run.board);
    VexaSamplingEnable(run.board);
    run.console.Error("Sampling Enable\n");
    run.console.Error("Begin sampling\n");

    ScanLineFigures& figures = RunLineFigures();
    SamplingProgress progress(run.console.Status(), run.context.clock, run.settings.lines,
                              run.settings.samplePeriod, figures);
    SamplingObserver observer(progress);
    progress.Begin();
    const LineLoopResult loop =
        RecordLines(run.board, run.settings.lines, rawLine, measurements, run.context.keyboard, observer);
    RecordLines(run.facts, run.settings.lines, loop);
    const std::span<const LineFigures> lines = figures.Lines();
    run.facts.lineFigures.emplace(lines.begin(), lines.end());
    run.stoppedEarly = loop.end == LineLoopEnd::Completed && loop.linesRecorded < run.settings.lines;
    return loop;
}

// How the loop ended, in the documented lines; samples lost next to some
// lines are told, as the operator must know before using the table.
void ReportLoopEnd(Run& run, const LineLoopResult& loop) {
    if (loop.end == LineLoopEnd::ReadFailed) {
        run.FailOnOutput("ERROR: Buffer overflow flag not getting set.\n");
    } else if (loop.end == LineLoopEnd::FirstSampleInvalid) {
        run.FailOnOutput("ERROR: Sample measurement timeout!\n");
    } else {
        run.console.Error("End sampling\n");
        run.console.ErrorFormat("Sampling Lines counter: %d\n", static_cast<int>(loop.countdown));
    }
    if (loop.linesWithLostSamples == 0) return;
    run.console.ErrorFormat(
        "Warning: samples were lost between lines in %d of %d lines "
        "(card buffer overflow or sampling restart).\n",
        static_cast<int>(loop.linesWithLostSamples), static_cast<int>(loop.linesRecorded));
}

// The motor is stopped before anything is written. After a failure inside the
// loop the lines recorded before it are still saved; with none recorded (a
// failure, or a stop before the first line was complete) an existing file is
// left as it was.
int StopAndSave(Run& run, const LineLoopResult& loop) {
    run.StopMotor();
    const bool loopFailed = loop.end != LineLoopEnd::Completed;
    if (loopFailed && loop.linesRecorded == 0) return kExitRunFailed;
    if (!loopFailed && loop.linesRecorded == 0 && run.settings.lines > 0)
        return EndWithNothingRecorded(run, kStoppedBeforeFirstLine);
    if (!run.outputs.Save(run, loop.linesRecorded, loopFailed)) return kExitRunFailed;
    run.linesSaved = loop.linesRecorded;
    return loopFailed ? kExitRunFailed : kExitSuccess;
}

int RunPhases(Run& run, LiveFollower& live) {
    ConfigurationProgress progress;
    const ConfigurationEnd configured = ConfigureHardware(run, progress);
    RecordConfiguration(run.facts, BoardTable()[run.board], progress, kLookupFileName,
                        progress.lookup.olderVersion);
    if (configured == ConfigurationEnd::Failed) return kExitRunFailed;
    if (configured == ConfigurationEnd::Ready) {
        WarnOfSimulatedLookup(run);
        live.Start(run);
    }
    if (configured == ConfigurationEnd::Stopped || !WaitForMirror(run))
        return EndWithNothingRecorded(run, kStoppedBeforeSampling);
    // Before the card samples: a scan cut short from here on can be recovered
    // from its capture.
    run.outputs.StartCapture(run);
    live.SamplingStarts();
    const LineLoopResult loop = Sample(run);
    ReportLoopEnd(run, loop);
    return StopAndSave(run, loop);
}

}  // namespace

int RunAcquisition(const RunSettings& settings, const RunContext& context) {
    Run run(settings, context);
    if (!run.outputs.Prepare(run)) return run.Finish(kExitRunFailed);
    LiveFollower live;
    const int exitCode = run.Finish(RunPhases(run, live));
    // Once every file of the run is in place: the follower's last files.
    live.Finish(run, exitCode);
    // The last line says where the table went.
    if (run.linesSaved) {
        run.console.ErrorFormat("Saved %d line%s to %s\n", static_cast<int>(*run.linesSaved),
                                *run.linesSaved == 1 ? "" : "s", PrintableText(settings.outputFileName).c_str());
    }
    return exitCode;
}

}  // namespace velscan
