#include "acquisition/run_acquisition.hpp"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <system_error>

#include "acquisition/console_message_sink.hpp"
#include "acquisition/exit_codes.hpp"
#include "acquisition/line_loop.hpp"
#include "acquisition/measurement_file.hpp"
#include "acquisition/progress.hpp"
#include "acquisition/run_buffers.hpp"
#include "acquisition/run_configuration.hpp"
#include "acquisition/run_console.hpp"
#include "acquisition/run_guard.hpp"
#include "cardlib/vexa.hpp"
#include "conversion/printable_text.hpp"
#include "laserlink/serial_link.hpp"
#include "platform/cancellable_pause.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/interrupt.hpp"
#include "platform/files/output_files.hpp"
#include "platform/terminal.hpp"

namespace velscan {

namespace {

// The mirror's run-up: 20 one-second pauses, so the console can count down.
constexpr std::int32_t kMirrorWaitSeconds = 20;
constexpr std::uint32_t kMirrorWaitStepMs = 1000;

// Redraws the sampling status after every line (without allocating).
class SamplingProgress final : public LineObserver {
public:
    SamplingProgress(StatusLine& status, const platform::Clock& clock, std::int32_t linesAsked)
        : status_(status), clock_(clock), linesAsked_(linesAsked), start_(clock.Now()) {}

    void Begin() {
        if (status_.Enabled()) status_.Show(FormatSamplingStatus(0, linesAsked_, {}));
    }
    void LineRecorded(std::int32_t linesRecorded) override {
        if (status_.Enabled())
            status_.Show(FormatSamplingStatus(linesRecorded, linesAsked_, clock_.Now() - start_));
    }

private:
    StatusLine& status_;
    const platform::Clock& clock_;
    std::int32_t linesAsked_;
    std::chrono::nanoseconds start_;
};

// False when a stop request cut the run-up short.
bool WaitForMirror(StatusLine& status) {
    for (std::int32_t left = kMirrorWaitSeconds; left > 0; --left) {
        status.Show(FormatMirrorWaitStatus(left));
        if (!platform::CancellablePause(kMirrorWaitStepMs)) return false;
    }
    return true;
}

// Samples were lost next to some lines: the operator must know before using
// the table.
void WarnAboutLostSamples(RunConsole& console, const LineLoopResult& loop) {
    if (loop.linesWithLostSamples == 0) return;
    console.ErrorFormat(
        "Warning: samples were lost between lines in %d of %d lines "
        "(card buffer overflow or sampling restart).\n",
        static_cast<int>(loop.linesWithLostSamples), static_cast<int>(loop.linesRecorded));
}

// Writes the recorded lines and puts the table in the target's place; false
// when the table could not be written completely.
// A second stop request while saving ends the program at once: the forced
// end releases link and card and removes the unfinished file, and the target
// stays as it was.
bool SaveTable(RunConsole& console, files::OutputFiles& outputs, files::OutputFile& table,
               std::int32_t lines) {
    platform::HonourForcedEnd();
    console.Error("Saving Data,Please Waiting\n");
    // The largest table takes a fraction of a second to write (1,000,000
    // rows in about 0.1 s), so one line shown before suffices.
    const std::int64_t rows = std::int64_t{lines} * static_cast<std::int64_t>(kSamplesPerLine);
    console.Status().Show(FormatSavingStatus(rows));
    const WriteResult written = WriteMeasurementFile(lines, OutputStream(table.TakeStream()));
    console.Status().Clear();
    if (written != WriteResult::Written) {
        console.Error(WriteFailureLine(written));
        outputs.Discard();  // an incomplete table never replaces the target
        return false;
    }
    platform::HonourForcedEnd();
    if (outputs.Commit()) {
        outputs.KeepUnfinished();  // the finished table is not lost
        if (table.TemporaryExists()) {
            console.ErrorFormat("Error: Can't replace the file %s; the table is kept in %s\n",
                                PrintableText(table.Target()).c_str(),
                                PrintableText(table.TemporaryPath()).c_str());
        } else {
            console.ErrorFormat("Error: Can't replace the file %s: its directory was removed or "
                                "renamed during the run, and the table with it\n",
                                PrintableText(table.Target()).c_str());
        }
        return false;
    }
    return true;
}

// Before the first line: the motor stopped, link and card closed, nothing
// written, an existing file left as it was.
int EndWithNothingRecorded(RunConsole& console, RunGuard& guard, const char* message) {
    console.Status().Clear();
    guard.StopMotor();
    guard.Release();
    console.Error(message);
    return kExitStoppedBeforeSampling;
}

constexpr const char* kStoppedBeforeSampling = "Stopped before sampling; nothing was recorded.\n";
constexpr const char* kStoppedBeforeFirstLine =
    "Stopped before the first line was complete; nothing was recorded.\n";

// Enables sampling and records the lines, with the status line redrawn after each.
LineLoopResult Sample(const RunSettings& settings, const RunContext& context, RunConsole& console,
                      std::uint32_t board) {
    // Both stores exist at full size before the run; the loop allocates nothing.
    const std::span<RawSample, kSamplesPerLine> rawLine = RawLineBuffer();
    const std::span<Measurement, kMeasurementCapacity> measurements = MeasurementArray();

    console.Error("Clear Sample Buffer\n");
    VexaClearSampleBuffer(board);
    VexaSamplingEnable(board);
    console.Error("Sampling Enable\n");
    console.Error("Begin sampling\n");

    SamplingProgress progress(console.Status(), context.clock, settings.lines);
    progress.Begin();
    return RecordLines(board, settings.lines, rawLine, measurements, context.keyboard, progress);
}

// How the loop ended, in the documented lines.
void ReportLoopEnd(RunConsole& console, const LineLoopResult& loop) {
    if (loop.end == LineLoopEnd::ReadFailed) {
        console.Output("ERROR: Buffer overflow flag not getting set.\n");
    } else if (loop.end == LineLoopEnd::FirstSampleInvalid) {
        console.Output("ERROR: Sample measurement timeout!\n");
    } else {
        console.Error("End sampling\n");
        console.ErrorFormat("Sampling Lines counter: %d\n", static_cast<int>(loop.countdown));
    }
    WarnAboutLostSamples(console, loop);
}

// The motor is stopped before anything is written. After a failure inside the
// loop the lines recorded before it are still saved; with none recorded (a
// failure, or a stop before the first line was complete) an existing file is
// left as it was.
int StopAndSave(const RunSettings& settings, RunConsole& console, RunGuard& guard,
                files::OutputFiles& outputs, files::OutputFile& table,
                const LineLoopResult& loop,
                std::optional<std::int32_t>& linesSaved) {
    guard.StopMotor();
    const bool loopFailed = loop.end != LineLoopEnd::Completed;
    if (loopFailed && loop.linesRecorded == 0) return kExitRunFailed;
    if (!loopFailed && loop.linesRecorded == 0 && settings.lines > 0)
        return EndWithNothingRecorded(console, guard, kStoppedBeforeFirstLine);
    const bool saved = SaveTable(console, outputs, table, loop.linesRecorded);
    if (!saved) return kExitRunFailed;
    linesSaved = loop.linesRecorded;
    return loopFailed ? kExitRunFailed : kExitSuccess;
}

int RunPhases(const RunSettings& settings, const RunContext& context, RunConsole& console,
              SerialLink& link, RunGuard& guard, files::OutputFiles& outputs,
              files::OutputFile& table,
              std::optional<std::int32_t>& linesSaved) {
    std::uint32_t board = 0;
    switch (ConfigureHardware(settings, context, console, link, guard, board)) {
        case ConfigurationEnd::Failed: return kExitRunFailed;
        case ConfigurationEnd::Stopped:
            return EndWithNothingRecorded(console, guard, kStoppedBeforeSampling);
        case ConfigurationEnd::Ready: break;
    }
    console.Error("Waiting (20 sec.) for mirror to move\n");
    if (!WaitForMirror(console.Status()))
        return EndWithNothingRecorded(console, guard, kStoppedBeforeSampling);

    const LineLoopResult loop = Sample(settings, context, console, board);
    ReportLoopEnd(console, loop);
    return StopAndSave(settings, console, guard, outputs, table, loop, linesSaved);
}

}  // namespace

int RunAcquisition(const RunSettings& settings, const RunContext& context) {
    RunConsole console(stdout, stderr, platform::IsTerminal(stderr));
    // The conversion's messages clear the status line like every other line.
    ConsoleMessageSink conversionMessages(console);
    const ScopedMessageSink routedMessages(conversionMessages);
    VexaInitBoards();

    // From here on a Ctrl+C asks the run to stop like q; a second one ends
    // the program at once, with the hardware released, the terminal restored
    // and the unfinished file removed. The interrupt guard outlives the
    // unfinished file.
    platform::InterruptGuard interrupts(kExitRunFailed);
    platform::SetInterruptTerminalRestore(&platform::RestoreConsoleMode);

    SerialLink link;
    RunGuard guard(console, link, context.finishCapture);

    // The table goes to a new file beside the target until it is complete.
    // A forced end removes it.
    files::OutputFiles outputs(".velscan");
    std::error_code whyNot;
    files::OutputFile* const table =
        outputs.Create(settings.outputFileName, files::Content::Text, whyNot);
    if (table == nullptr) {
        console.ErrorFormat("Error: Can't create the file %s\n",
                            PrintableText(settings.outputFileName).c_str());
        return guard.Finish(kExitRunFailed);
    }

    std::optional<std::int32_t> linesSaved;
    const int exitCode =
        guard.Finish(RunPhases(settings, context, console, link, guard, outputs, *table, linesSaved));
    // The last line says where the table went.
    if (linesSaved) {
        console.ErrorFormat("Saved %d line%s to %s\n", static_cast<int>(*linesSaved),
                            *linesSaved == 1 ? "" : "s",
                            PrintableText(settings.outputFileName).c_str());
    }
    return exitCode;
}

}  // namespace velscan
