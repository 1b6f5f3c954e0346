#include "acquisition/run_acquisition.hpp"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "acquisition/exit_codes.hpp"
#include "acquisition/line_loop.hpp"
#include "acquisition/measurement_file.hpp"
#include "acquisition/progress.hpp"
#include "acquisition/run_buffers.hpp"
#include "cardlib/vexa.hpp"
#include "conversion/beam_geometry.hpp"
#include "conversion/lookup_table.hpp"
#include "laserlink/range_finder_commands.hpp"
#include "laserlink/serial_link.hpp"
#include "platform/backend.hpp"
#include "platform/cancellable_pause.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/interrupt.hpp"
#include "platform/files/output_files.hpp"
#include "platform/terminal.hpp"

namespace velscan {

namespace {

constexpr std::uint32_t kLinkBaudRate = 9600;
constexpr std::uint32_t kEncoderMaskBoth = 3;
// The mirror's run-up: 20 one-second pauses, so the console can count down.
constexpr std::int32_t kMirrorWaitSeconds = 20;
constexpr std::uint32_t kMirrorWaitStepMs = 1000;

// Releases the hardware in the run's order, the serial link before the board,
// on every way out of the run; a motor still turning is stopped first (an
// exception on its way out of the run). It is also what a forced end does.
class HardwareSession {
public:
    explicit HardwareSession(SerialLink& link) : link_(link) {
        platform::SetForcedEndAction([this] { Release(); });
    }
    HardwareSession(const HardwareSession&) = delete;
    HardwareSession& operator=(const HardwareSession&) = delete;
    ~HardwareSession() {
        platform::SetForcedEndAction(nullptr);
        Release();
    }

    void LinkOpened() { linkOpen_ = true; }
    void BoardOpened(std::int32_t index) { board_ = index; }
    void MotorStarted(std::uint32_t motor) { motor_ = motor; }
    // The one motor-stop control; false when the card rejected it.
    bool StopMotor() {
        if (!motor_ || board_ == -1) return true;
        const std::uint32_t motor = *std::exchange(motor_, std::nullopt);
        return VexaSetMotorPower(static_cast<std::uint32_t>(board_), motor, 0) == 1;
    }
    void Release() noexcept {
        try {
            (void)StopMotor();
        } catch (...) {
            // best effort: link and board are closed all the same
        }
        if (linkOpen_) {
            SerialLinkClose(link_);
            linkOpen_ = false;
        }
        if (board_ != -1) {
            VexaClose(static_cast<std::uint32_t>(board_));
            board_ = -1;
        }
    }

private:
    SerialLink& link_;
    bool linkOpen_ = false;
    std::int32_t board_ = -1;
    std::optional<std::uint32_t> motor_;
};

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

// After a failed open: why it failed, when the opener said, then the
// backend's advice, when it has any.
void PrintOpenFailure(RunConsole& console, const std::string& cause, const std::string& hint) {
    if (!cause.empty()) console.ErrorFormat("Cause: %s\n", cause.c_str());
    if (hint.empty()) return;
    console.ErrorFormat(hint.back() == '\n' ? "%s" : "%s\n", hint.c_str());
}

// False when a stop request cut the run-up short.
bool WaitForMirror(StatusLine& status) {
    for (std::int32_t left = kMirrorWaitSeconds; left > 0; --left) {
        status.Show(FormatMirrorWaitStatus(left));
        if (!platform::CancellablePause(kMirrorWaitStepMs)) return false;
    }
    return true;
}

// The mirror may go on turning when its stop failed: the operator must know.
bool StopMotor(RunConsole& console, HardwareSession& hardware) {
    if (hardware.StopMotor()) return true;
    console.Error("Warning: the motor stop failed; the mirror may still be turning.\n");
    return false;
}

// The capture of raw records, when one was asked for, holds every record.
bool CaptureComplete(RunConsole& console, const std::function<std::string()>& finish) {
    if (!finish) return true;
    const std::string problem = finish();
    if (problem.empty()) return true;
    console.Error(problem.c_str());
    return false;
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
bool SaveTable(RunConsole& console, files::OutputFiles& outputs, files::OutputFile& table,
               std::int32_t lines) {
    console.Error("Saving Data,Please Waiting\n");
    // The largest table takes a fraction of a second to write (1,000,000
    // rows in about 0.1 s), so one parked line suffices; the writer's own
    // error lines overwrite it.
    const std::int64_t rows = std::int64_t{lines} * static_cast<std::int64_t>(kSamplesPerLine);
    console.Status().Show(FormatSavingStatus(rows), true);
    const WriteResult written = WriteMeasurementFile(lines, OutputStream(table.TakeStream()));
    console.Status().Clear();
    if (written != WriteResult::Written) {
        outputs.Discard();  // an incomplete table never replaces the target
        return false;
    }
    if (outputs.Commit()) {
        outputs.KeepUnfinished();  // the finished table is not lost
        if (table.TemporaryExists()) {
            console.ErrorFormat("Error: Can't replace the file %s; the table is kept in %s\n",
                                table.Target().c_str(), table.TemporaryPath().c_str());
        } else {
            console.ErrorFormat("Error: Can't replace the file %s: its directory was removed or "
                                "renamed during the run, and the table with it\n",
                                table.Target().c_str());
        }
        return false;
    }
    return true;
}

}  // namespace

int RunAcquisition(const RunSettings& settings, const RunEnvironment& environment) {
    RunConsole console(stdout, stderr, platform::IsTerminal(stderr));
    if (settings.lines < 0 || settings.lines > static_cast<std::int32_t>(kMaxLines)) {
        console.Error("Error: lines must be from 0 to 200\n");
        return kExitCommandLine;
    }
    // Both stores exist at full size before the run; the loop allocates nothing.
    const std::span<RawSample, kSamplesPerLine> rawLine = RawLineBuffer();
    const std::span<Measurement, kMeasurementCapacity> measurements = MeasurementArray();

    VexaInitBoards();

    // From here on a Ctrl+C asks the run to stop like q; a second one ends
    // the program at once, with the terminal restored and the unfinished file
    // removed. The guard outlives the unfinished file.
    platform::InterruptGuard interrupts(kExitRunFailed);
    platform::SetInterruptTerminalRestore(&platform::RestoreConsoleMode);

    // The table goes to a new file beside the target until it is complete.
    // A forced end removes it.
    files::OutputFiles outputs(".velscan");
    std::error_code whyNot;
    files::OutputFile* const table =
        outputs.Create(settings.outputFileName, files::Content::Text, whyNot);
    if (table == nullptr) {
        console.ErrorFormat("Error: Can't create the file %s\n", settings.outputFileName.c_str());
        return kExitRunFailed;
    }

    SerialLink link;
    HardwareSession hardware(link);  // declared after `outputs`: released before it is removed
    if (SerialLinkOpen(link, kLinkBaudRate, settings.portNumber) == 0) {
        console.Error("Error: Serial Comm port open failed.\n");
        const OpenFailures* failures = environment.openFailures.get();
        PrintOpenFailure(console, failures ? failures->serialPort : std::string(),
                         environment.laserHint);
        return kExitRunFailed;
    }
    hardware.LinkOpened();
    SerialLinkSend(link, kGreetingCommand);
    platform::Pause(kCommandPauseMs);
    console.Error("Opened high speed interface.\n");

    const std::int32_t boardIndex = VexaOpen(settings.boardNumber, &link);
    if (boardIndex == -1) {
        console.Error("Error: VexaOpen failed.\n");
        const OpenFailures* failures = environment.openFailures.get();
        PrintOpenFailure(console, failures ? failures->cardDevice : std::string(),
                         environment.cardHint);
        return kExitRunFailed;
    }
    hardware.BoardOpened(boardIndex);
    const auto board = static_cast<std::uint32_t>(boardIndex);

    if (VexaResetBoard(board) == 0) {
        console.Error("Error: VexaResetBoard failed.\n");
        return kExitRunFailed;
    }
    console.Error("VEAX Card Calibration\n");
    VexaSetSwitch(board, 1);
    if (VexaCalibrate(board) != 1) {
        console.Error("Error: Could not get calibration value\n");
        return kExitRunFailed;
    }
    console.Error("SamplingModeInit\n");
    if (VexaSamplingModeInit(board) != 1) {
        console.Error("Error: Could not initialize sampling mode\n");
        return kExitRunFailed;
    }
    if (VexaClearEncoder(board, kEncoderMaskBoth, 1) != 1) {
        console.Error("Error: Failed to clear encoder1\n");
        return kExitRunFailed;
    }
    if (VexaSetEncoder(board, 1, 0, kMirrorEncoderCountsPerTurn) != 1) {
        console.Error("Error: Failed to set encoder1\n");
        return kExitRunFailed;
    }
    if (VexaSetEncoder(board, 2, 0, kSlowAxisEncoderCountsPerTurn) != 1) {
        console.Error("Error: Failed to set encoder2\n");
        return kExitRunFailed;
    }
    if (VexaLoadLookupFile(board, kLookupFileName) == 0) {
        console.Output("ERROR: Could not read calibration file\n");
        return kExitRunFailed;
    }
    // No link given: the card library sends through the link the slot holds.
    if (VexaSetSampleAndRange(board, nullptr, settings.maxRange,
                              static_cast<std::uint32_t>(settings.samplePeriod)) != 1) {
        console.Error("Error: Failed to set sample and range\n");
        return kExitRunFailed;
    }
    const auto motor = static_cast<std::uint32_t>(settings.motorNumber);
    // A motor that did not start (a bad motor number) needs no stop.
    if (VexaSetMotorPower(board, motor, static_cast<std::uint32_t>(settings.motorPower)) == 1)
        hardware.MotorStarted(motor);

    console.Error("Waiting (20 sec.) for mirror to move\n");
    if (!WaitForMirror(console.Status())) {
        // Stopped before sampling: nothing recorded, an existing file kept.
        console.Status().Clear();
        const bool motorStopped = StopMotor(console, hardware);
        hardware.Release();
        console.Error("Stopped before sampling; nothing was recorded.\n");
        const bool captured = CaptureComplete(console, environment.finishCapture);
        return motorStopped && captured ? kExitStoppedBeforeSampling : kExitRunFailed;
    }

    console.Error("Clear Sample Buffer\n");
    VexaClearSampleBuffer(board);
    VexaSamplingEnable(board);
    console.Error("Sampling Enable\n");
    console.Error("Begin sampling\n");

    SamplingProgress progress(console.Status(), environment.clock, settings.lines);
    progress.Begin();
    const LineLoopResult loop =
        RecordLines(board, settings.lines, rawLine, measurements, environment.console, progress);

    const bool loopFailed = loop.end != LineLoopEnd::Completed;
    if (loop.end == LineLoopEnd::ReadFailed) {
        console.Output("ERROR: Buffer overflow flag not getting set.\n");
    } else if (loop.end == LineLoopEnd::FirstSampleInvalid) {
        console.Output("ERROR: Sample measurement timeout!\n");
    } else {
        console.Error("End sampling\n");
        console.ErrorFormat("Sampling Lines counter: %d\n", static_cast<int>(loop.countdown));
    }
    WarnAboutLostSamples(console, loop);

    const bool motorStopped = StopMotor(console, hardware);

    // After a failure inside the loop the lines recorded before it are still
    // saved; with none recorded an existing file is left as it was.
    if (loopFailed && loop.linesRecorded == 0) {
        hardware.Release();
        (void)CaptureComplete(console, environment.finishCapture);
        return kExitRunFailed;
    }
    const bool saved = SaveTable(console, outputs, *table, loop.linesRecorded);
    hardware.Release();
    const bool captured = CaptureComplete(console, environment.finishCapture);
    if (!saved || loopFailed || !motorStopped || !captured) return kExitRunFailed;
    return kExitSuccess;
}

}  // namespace velscan
