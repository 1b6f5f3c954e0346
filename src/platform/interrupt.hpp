#pragma once
// Ctrl+C and the other requests to end a run. While an InterruptGuard is
// alive, the first request (SIGINT, SIGTERM, SIGHUP, SIGQUIT; on Windows the
// console's Ctrl+C, Ctrl+Break, close, logoff and shutdown events) does not end
// the program: it is only recorded, and the run treats it like the stop key.
// A second request asks for the forced end, which the main thread carries out
// at its next wait (HonourForcedEnd): one best-effort motor stop and the
// release of link and card (the registered action), the terminal restored,
// every unfinished file of the file writer removed, then the program ends.
// The signal handlers themselves only set flags; should the main thread not
// get there within two seconds (held in a long write, say), the handler side
// runs the action itself, as a last resort given one more second, and ends
// the program (the unfinished files are removed all the same). SIGPIPE and
// SIGXFSZ are ignored from the first guard on, so a console that is gone never
// ends the run, and a file-size limit makes a write fail (and the run take its
// failure path) instead of killing the program.

#include <functional>

namespace velscan::platform {

class InterruptGuard {
public:
    // `forcedExitCode` is the exit code of the program ended by a forced end.
    explicit InterruptGuard(int forcedExitCode);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// True once a request has arrived since the guard was installed.
bool InterruptRequested();

// What the handler does on a request; lets tests stand in for the keyboard.
// A second request while a guard is installed asks for the forced end.
void RequestInterrupt();

// True once the forced end is asked for and not yet carried out.
bool ForcedEndRequested();

// Carries out a pending forced end (never returns then); returns at once when
// none is pending. Every wait of the main thread calls it.
void HonourForcedEnd();

// What the forced end does first, at most once: stop the motor and release
// link and card, without waiting for long. It runs on the main thread, or as
// the last resort described above from the handler side. An empty function
// clears it.
void SetForcedEndAction(std::function<void()> action);

// While alive, a stop request (any request, the first included) makes every
// wait of the program pass at once: a step of the configuration then ends
// early, and the run, which asks InterruptRequested between its steps, stops
// within a fraction of a second instead of after the whole configuration.
class StopCutsPauses {
public:
    StopCutsPauses();
    ~StopCutsPauses();
    StopCutsPauses(const StopCutsPauses&) = delete;
    StopCutsPauses& operator=(const StopCutsPauses&) = delete;
};

// True while a StopCutsPauses is alive and a request has arrived.
bool PausesCutByStop();

// An async-signal-safe function that puts the terminal back into the state
// it had before the program changed it; called before a forced end.
void SetInterruptTerminalRestore(void (*restore)());

}  // namespace velscan::platform
