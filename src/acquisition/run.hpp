#pragma once
// One run of the program, as one object: its settings and context, its
// console, the serial link and the guard that gives the hardware back, the
// capture, the facts its metadata files record, and the files it saves. The
// phases of the run (run_acquisition.cpp, run_configuration.cpp) take the run.

#include <cstdint>
#include <optional>
#include <string>

#include "acquisition/command_line.hpp"
#include "acquisition/console_message_sink.hpp"
#include "acquisition/run_capture.hpp"
#include "acquisition/run_console.hpp"
#include "acquisition/run_context.hpp"
#include "acquisition/run_guard.hpp"
#include "acquisition/scan_outputs.hpp"
#include "laserlink/serial_link.hpp"
#include "platform/interrupt.hpp"
#include "platform/system_facts.hpp"
#include "scanfile/scan_metadata.hpp"

namespace velscan {

class Run {
public:
    Run(const RunSettings& settings, const RunContext& context);
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;
    // On a way out that skipped Finish (an exception): everything Finish does.
    ~Run();

    const RunSettings& settings;
    const RunContext& context;

private:
    // First: a Ctrl+C asks the run to stop like q; a second one ends the
    // program at once. It outlives every member below (the unfinished files
    // among them).
    platform::InterruptGuard interrupts_;
    platform::WallClock wallClock_;
    std::string failure_;  // the run's first failure line, without its line break
    bool motorStopFailed_ = false;
    bool finished_ = false;

public:
    RunConsole console;
    SerialLink link;
    RunGuard guard;
    RunCapture capture;
    ScanFacts facts;
    ScanOutputs outputs;
    std::uint32_t board = 0;
    bool stoppedEarly = false;  // q or a first Ctrl+C ended the lines early
    std::optional<std::int32_t> linesSaved;  // the table's lines, once it is in place

    // The wall clock's time now, as the metadata writes it.
    std::string Stamp() const { return platform::UtcTimestamp(wallClock_()); }

    // A failure, printed on standard error (or on standard output, where the
    // documented line goes there); the first is the run's failure message.
    void Fail(const std::string& line);
    void FailOnOutput(const char* line);

    // Stops a started motor; when the card rejects the stop, the operator is
    // warned (the mirror may go on turning) and the run will fail.
    void StopMotor();

    // The exit code the run ends with for `exitCode`, as things stand: a
    // failed motor stop or capture fails it.
    int ExitCodeFor(int exitCode) const;
    // The run's end as it stands, in the facts: how, its message, the time.
    void RecordEnd(int exitCode);

    // The run's last step: the motor stopped, link and card released, the
    // capture closed and described. Returns the program's exit code.
    int Finish(int exitCode);

private:
    ConsoleMessageSink conversionMessages_;
    ScopedMessageSink routedMessages_;
};

}  // namespace velscan
