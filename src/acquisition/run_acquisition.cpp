#include "acquisition/run_acquisition.hpp"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <system_error>

#include "acquisition/console_message_sink.hpp"
#include "acquisition/exit_codes.hpp"
#include "acquisition/line_loop.hpp"
#include "acquisition/measurement_file.hpp"
#include "scanfile/metadata_output.hpp"
#include "acquisition/progress.hpp"
#include "acquisition/run_buffers.hpp"
#include "acquisition/run_configuration.hpp"
#include "acquisition/run_console.hpp"
#include "acquisition/run_facts.hpp"
#include "acquisition/run_guard.hpp"
#include "scanfile/scan_metadata.hpp"
#include "cardlib/vexa.hpp"
#include "conversion/printable_text.hpp"
#include "laserlink/serial_link.hpp"
#include "conversion/lookup_table.hpp"
#include "platform/cancellable_pause.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/interrupt.hpp"
#include "platform/files/output_files.hpp"
#include "platform/files/path_name.hpp"
#include "platform/system_facts.hpp"
#include "platform/terminal.hpp"

namespace velscan {

namespace {

// The mirror's run-up: 20 one-second pauses, so the console can count down.
constexpr std::int32_t kMirrorWaitSeconds = 20;
constexpr std::uint32_t kMirrorWaitStepMs = 1000;

// What the run's metadata files will say, gathered as the run goes.
struct RunRecord {
    ScanFacts facts;
    platform::WallClock wallClock;
    std::string capturePath;                // empty: no capture
    std::function<std::optional<CaptureFigures>()> captureFigures;
    files::OutputFile* metadata = nullptr;  // the table's metadata file; null: none
    // The capture's metadata file, created before the hardware is touched;
    // null: none (no capture, a capture that is no regular file, or a name
    // too long for it).
    files::OutputFiles captureOutputs{".velscan"};
    files::OutputFile* captureMetadata = nullptr;
    bool captureMetadataWritten = false;  // written with the table's facts, to be put in place
    bool tableCommitted = false;
    bool stoppedEarly = false;  // q or a first Ctrl+C ended the lines early

    std::string Stamp() const { return platform::UtcTimestamp(wallClock()); }
    // The run's end as it stands: the exit code it will have and its message.
    void RecordEnd(int exitCode, const RunConsole& console, const RunGuard& guard) {
        std::string message = console.FirstErrorLine();
        if (message.empty()) message = guard.CaptureProblem().substr(0, guard.CaptureProblem().find('\n'));
        facts.end = EndFacts(exitCode, stoppedEarly, message);
        facts.endTime = Stamp();
    }
    // The finished capture, when it is a regular file that holds every record.
    std::optional<MetadataCapture> Capture() const {
        if (capturePath.empty() || !captureFigures) return std::nullopt;
        const std::optional<CaptureFigures> figures = captureFigures();
        if (!figures) return std::nullopt;
        return CaptureFacts(capturePath, *figures);
    }
};

// Writes `facts` as the capture's metadata into its unfinished file and
// closes it, so that a full disk shows before anything is put in place.
bool WriteCaptureDocument(RunConsole& console, RunRecord& record, const ScanFacts& facts) {
    const bool written =
        WriteMetadataText(*record.captureMetadata, MetadataText(facts, MetadataDescribes::Capture)) &&
        files::CloseWrittenStream(record.captureMetadata->TakeStream());
    if (!written) {
        console.ErrorFormat("Error: Can't write the file %s\n",
                            PrintableText(record.captureMetadata->Target()).c_str());
        record.captureOutputs.Discard();
        record.captureMetadata = nullptr;
    }
    return written;
}

// The table's metadata: its rows and digest (of the bytes as they were
// written), the capture once closed and the run's end. The capture's
// metadata, the same document, is written now too, so the exit code both
// record is the one the run ends with. False when a metadata file could not
// be written.
bool WriteTableMetadata(RunConsole& console, RunGuard& guard, files::OutputFile& table,
                        const TableFigures& written, bool loopFailed, RunRecord& record) {
    record.facts.rows = written.rows;
    record.facts.rowsWithoutRange = written.rowsWithoutRange;
    record.facts.table = MetadataFile{.name = table.Target(), .sha256 = written.sha256};
    // No record comes after the lines, so the capture is complete now.
    if (!record.capturePath.empty() && guard.CloseCapture()) record.facts.capture = record.Capture();
    record.RecordEnd(guard.ExitCodeFor(loopFailed ? kExitRunFailed : kExitSuccess), console, guard);
    if (record.captureMetadata != nullptr && record.facts.capture) {
        if (!WriteCaptureDocument(console, record, record.facts)) return false;
        record.captureMetadataWritten = true;
    }
    if (!WriteMetadataText(*record.metadata, MetadataText(record.facts, MetadataDescribes::Table))) {
        console.ErrorFormat("Error: Can't write the file %s\n",
                            PrintableText(record.metadata->Target()).c_str());
        return false;
    }
    return true;
}

// The capture's metadata, once the capture holds every record: the document
// written with the table's when the table was saved, else the run's end now.
bool WriteCaptureMetadata(RunConsole& console, const RunGuard& guard, RunRecord& record,
                          int exitCode) {
    if (record.captureMetadata == nullptr) return true;  // none to write
    if (record.captureMetadataWritten && !record.tableCommitted) {
        // Written with a table that was not put in place: made again with
        // the run's end as it is now.
        record.captureOutputs.Discard();
        record.captureMetadataWritten = false;
        std::error_code whyNot;
        record.captureMetadata = CreateMetadataOutput(record.captureOutputs, record.capturePath, whyNot);
        if (record.captureMetadata == nullptr) {
            console.ErrorFormat("Error: Can't create the file %s: %s\n",
                                PrintableText(MetadataFileName(record.capturePath)).c_str(),
                                PrintableText(whyNot.message()).c_str());
            return false;
        }
    }
    if (!record.captureMetadataWritten) {
        ScanFacts facts = record.facts;
        facts.table.reset();
        record.RecordEnd(exitCode, console, guard);
        facts.end = record.facts.end;
        facts.endTime = record.facts.endTime;
        facts.capture = record.Capture();
        if (!facts.capture) return true;
        if (!WriteCaptureDocument(console, record, facts)) return false;
    }
    if (!record.captureOutputs.Commit()) return true;
    record.captureOutputs.Discard();
    console.ErrorFormat("Error: Can't create the file %s\n",
                        PrintableText(MetadataFileName(record.capturePath)).c_str());
    return false;
}

// The capture's metadata file, made before the hardware is touched so that a
// name it cannot have is known before the scan. A capture that is no regular
// file gets none; a name too long for ".json" is told, as the table's is.
bool PrepareCaptureMetadata(RunConsole& console, RunRecord& record) {
    std::error_code whyNot;
    if (record.capturePath.empty() ||
        !std::filesystem::is_regular_file(files::PathOf(record.capturePath), whyNot))
        return true;
    const std::string name = MetadataFileName(record.capturePath);
    record.captureMetadata = CreateMetadataOutput(record.captureOutputs, record.capturePath, whyNot);
    if (record.captureMetadata != nullptr) return true;
    if (whyNot == std::errc::filename_too_long) {
        console.ErrorFormat("Warning: no metadata file beside %s: the name %s is too long\n",
                            PrintableText(record.capturePath).c_str(), PrintableText(name).c_str());
        return true;
    }
    console.ErrorFormat("Error: Can't create the file %s: %s\n", PrintableText(name).c_str(),
                        PrintableText(whyNot.message()).c_str());
    return false;
}

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

// A table and its metadata file are put in place together or not at all.
// Neither replaced: the finished table, the only copy of the scan, stays under
// its unfinished name and the message names it; a write that failed (which
// only the metadata file's can be by then) keeps nothing. Where a target could
// not be put back, the message says which file now stands where.
void ReportCommitFailure(RunConsole& console, files::OutputFiles& outputs,
                         const files::OutputFile& table, const files::CommitFailure& failure) {
    const std::string target = PrintableText(failure.output->Target());
    const std::string reason = failure.why.message();
    using Stage = files::CommitFailure::Stage;
    if (failure.stage == Stage::Write) {
        outputs.Discard();
        console.ErrorFormat("Error: Can't write the file %s: %s\n", target.c_str(), reason.c_str());
        return;
    }
    if (!table.TemporaryExists()) {
        outputs.Discard();
        if (failure.stage == Stage::Undone) {
            console.ErrorFormat("Error: Can't replace the file %s: %s; %s\n", target.c_str(),
                                reason.c_str(),
                                PrintableText(files::DescribeChangedTargets(failure)).c_str());
        } else {
            console.ErrorFormat("Error: Can't replace the file %s: its directory was removed or "
                                "renamed during the run, and the table with it\n",
                                PrintableText(table.Target()).c_str());
        }
        return;
    }
    outputs.KeepUnfinished(table);  // the finished table is not lost
    const std::string changed = failure.stage == Stage::Undone
                                    ? "; " + files::DescribeChangedTargets(failure)
                                    : std::string();
    console.ErrorFormat("Error: Can't replace the file %s: %s; the table is kept in %s%s\n",
                        target.c_str(), reason.c_str(),
                        PrintableText(table.TemporaryPath()).c_str(),
                        PrintableText(changed).c_str());
}

// Writes the recorded lines and puts the table in the target's place; false
// when the table could not be written completely.
// A second stop request while saving ends the program at once: the forced
// end releases link and card and removes the unfinished file, and the target
// stays as it was.
bool SaveTable(RunConsole& console, RunGuard& guard, files::OutputFiles& outputs,
               files::OutputFile& table, std::int32_t lines, bool loopFailed, RunRecord& record) {
    platform::HonourForcedEnd();
    console.Error("Saving Data,Please Waiting\n");
    // The largest table takes a fraction of a second to write (1,000,000
    // rows in about 0.1 s), so one line shown before suffices.
    const std::int64_t rows = std::int64_t{lines} * static_cast<std::int64_t>(kSamplesPerLine);
    console.Status().Show(FormatSavingStatus(rows));
    TableFigures figures;
    const WriteResult written = WriteMeasurementFile(lines, OutputStream(table.TakeStream()), &figures);
    console.Status().Clear();
    if (written != WriteResult::Written) {
        console.Error(WriteFailureLine(written));
        outputs.Discard();  // an incomplete table never replaces the target
        return false;
    }
    if (record.metadata != nullptr &&
        !WriteTableMetadata(console, guard, table, figures, loopFailed, record)) {
        outputs.Discard();  // a table never stands without its metadata
        return false;
    }
    platform::HonourForcedEnd();
    if (const auto failure = outputs.Commit()) {
        ReportCommitFailure(console, outputs, table, *failure);
        return false;
    }
    record.tableCommitted = record.metadata != nullptr;
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
                const LineLoopResult& loop, RunRecord& record,
                std::optional<std::int32_t>& linesSaved) {
    guard.StopMotor();
    const bool loopFailed = loop.end != LineLoopEnd::Completed;
    if (loopFailed && loop.linesRecorded == 0) return kExitRunFailed;
    if (!loopFailed && loop.linesRecorded == 0 && settings.lines > 0)
        return EndWithNothingRecorded(console, guard, kStoppedBeforeFirstLine);
    const bool saved =
        SaveTable(console, guard, outputs, table, loop.linesRecorded, loopFailed, record);
    if (!saved) return kExitRunFailed;
    linesSaved = loop.linesRecorded;
    return loopFailed ? kExitRunFailed : kExitSuccess;
}

int RunPhases(const RunSettings& settings, const RunContext& context, RunConsole& console,
              SerialLink& link, RunGuard& guard, files::OutputFiles& outputs,
              files::OutputFile& table, RunRecord& record,
              std::optional<std::int32_t>& linesSaved) {
    std::uint32_t board = 0;
    ConfigurationProgress progress;
    const ConfigurationEnd configured =
        ConfigureHardware(settings, context, console, link, guard, board, progress);
    RecordConfiguration(record.facts, BoardTable()[board], progress, kLookupFileName,
                        LookupFileOlderVersion());
    switch (configured) {
        case ConfigurationEnd::Failed: return kExitRunFailed;
        case ConfigurationEnd::Stopped:
            return EndWithNothingRecorded(console, guard, kStoppedBeforeSampling);
        case ConfigurationEnd::Ready: break;
    }
    console.Error("Waiting (20 sec.) for mirror to move\n");
    if (!WaitForMirror(console.Status()))
        return EndWithNothingRecorded(console, guard, kStoppedBeforeSampling);
    record.facts.mirrorReadyTime = record.Stamp();

    const LineLoopResult loop = Sample(settings, context, console, board);
    RecordLines(record.facts, settings.lines, loop);
    record.stoppedEarly = loop.end == LineLoopEnd::Completed && loop.linesRecorded < settings.lines;
    ReportLoopEnd(console, loop);
    return StopAndSave(settings, console, guard, outputs, table, loop, record, linesSaved);
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

    RunRecord record;
    record.wallClock = context.wallClock ? context.wallClock : platform::WallClock(&platform::WallClockNow);
    record.facts.startTime = record.Stamp();
    RecordRunStart(record.facts, settings, context.plan, context.commandLine);
    record.capturePath = context.finishCapture ? context.plan.capturePath : std::string();
    record.captureFigures = context.captureFigures;

    SerialLink link;
    RunGuard guard(console, link, context.finishCapture);
    // Every way out that closes a complete capture describes it beside it.
    if (!record.capturePath.empty()) {
        guard.OnCaptureWritten([&console, &guard, &record](int exitCode) {
            return WriteCaptureMetadata(console, guard, record, exitCode);
        });
    }

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
    // Its metadata file beside it, committed with it. A table written in
    // place (a FIFO, a device) is no file to keep, and gets none.
    if (!table->TemporaryPath().empty()) {
        record.metadata = CreateMetadataOutput(outputs, settings.outputFileName, whyNot);
        if (record.metadata == nullptr && whyNot == std::errc::filename_too_long) {
            // A table name of the longest length leaves no room for ".json":
            // the scan is taken all the same, and the operator told.
            console.ErrorFormat("Warning: no metadata file beside %s: the name %s is too long\n",
                                PrintableText(settings.outputFileName).c_str(),
                                PrintableText(MetadataFileName(settings.outputFileName)).c_str());
        } else if (record.metadata == nullptr) {
            console.ErrorFormat("Error: Can't create the file %s\n",
                                PrintableText(MetadataFileName(settings.outputFileName)).c_str());
            outputs.Discard();
            return guard.Finish(kExitRunFailed);
        }
    }
    if (!PrepareCaptureMetadata(console, record)) {
        outputs.Discard();
        return guard.Finish(kExitRunFailed);
    }

    std::optional<std::int32_t> linesSaved;
    const int exitCode = guard.Finish(
        RunPhases(settings, context, console, link, guard, outputs, *table, record, linesSaved));
    // The last line says where the table went.
    if (linesSaved) {
        console.ErrorFormat("Saved %d line%s to %s\n", static_cast<int>(*linesSaved),
                            *linesSaved == 1 ? "" : "s",
                            PrintableText(settings.outputFileName).c_str());
    }
    return exitCode;
}

}  // namespace velscan
