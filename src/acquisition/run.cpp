#include "acquisition/run.hpp"

#include <cstdio>
#include <string_view>

#include "acquisition/exit_codes.hpp"
#include "acquisition/run_facts.hpp"
#include "cardlib/vexa.hpp"
#include "platform/terminal.hpp"

namespace velscan {

namespace {

std::string FirstLine(std::string_view text) { return std::string(text.substr(0, text.find('\n'))); }

std::string CapturePath(const RunContext& context) {
    return context.finishCapture ? context.plan.capturePath : std::string();
}

}  // namespace

Run::Run(const RunSettings& runSettings, const RunContext& runContext)
    : settings(runSettings),
      context(runContext),
      interrupts_(kExitRunFailed),
      wallClock_(runContext.wallClock ? runContext.wallClock : platform::WallClock(&platform::WallClockNow)),
      console(stdout, stderr, platform::IsTerminal(stderr)),
      guard(link),
      capture(CapturePath(runContext), runContext.finishCapture, runContext.captureFigures,
              runContext.startCapture),
      conversionMessages_(console),
      routedMessages_(conversionMessages_) {
    platform::SetInterruptTerminalRestore(&platform::RestoreConsoleMode);
    VexaInitBoards();
    facts.startTime = Stamp();
    RecordRunStart(facts, settings, context.plan, context.commandLine);
}

Run::~Run() {
    if (finished_) return;
    try {
        (void)Finish(kExitRunFailed);
    } catch (...) {
        guard.Release();  // the console failed: the hardware is given back all the same
    }
}

void Run::Fail(const std::string& line) {
    console.Error(line.c_str());
    if (failure_.empty()) failure_ = FirstLine(line);
}

void Run::FailOnOutput(const char* line) {
    console.Output(line);
    if (failure_.empty()) failure_ = FirstLine(line);
}

void Run::StopMotor() {
    if (guard.StopMotor()) return;
    motorStopFailed_ = true;
    console.Error("Warning: the motor stop failed; the mirror may still be turning.\n");
}

// Every failure the run told of fails it, so the exit code the metadata
// records is always the program's.
int Run::ExitCodeFor(int exitCode) const {
    return motorStopFailed_ || !capture.Problem().empty() || !failure_.empty() ? kExitRunFailed : exitCode;
}

void Run::RecordEnd(int exitCode) {
    facts.end = EndFacts(exitCode, stoppedEarly, failure_.empty() ? FirstLine(capture.Problem()) : failure_);
    facts.endTime = Stamp();
}

int Run::Finish(int exitCode) {
    finished_ = true;
    StopMotor();
    guard.Release();
    // Reported here, once, whether the capture was closed now or before.
    if (!capture.Close()) Fail(capture.Problem());
    const int finalCode = ExitCodeFor(exitCode);
    if (capture.Present() && capture.Problem().empty() && !outputs.DescribeCapture(*this, finalCode))
        return kExitRunFailed;
    return finalCode;
}

}  // namespace velscan
