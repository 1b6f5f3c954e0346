#pragma once
// Ctrl+C during a run. While an InterruptGuard is alive, the first Ctrl+C
// (SIGINT; on Windows the console's Ctrl+C / Ctrl+Break event) does not end the
// program: it is only recorded, and the run treats it like the stop key. A
// second Ctrl+C ends the program at once, after restoring the terminal and
// removing the registered unfinished output file.

namespace velscan::platform {

class InterruptGuard {
public:
    // `forcedExitCode` is the exit code of the program ended by a second Ctrl+C.
    explicit InterruptGuard(int forcedExitCode);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

// True once a Ctrl+C has arrived since the guard was installed.
bool InterruptRequested();

// What the handler does on a Ctrl+C; lets tests stand in for the keyboard.
// A second request while a guard is installed ends the program.
void RequestInterrupt();

// The file a forced end removes (an unfinished output file); null clears it.
// Paths longer than 4095 bytes are not registered.
void SetInterruptCleanupFile(const char* path);

// An async-signal-safe function that puts the terminal back into the state
// it had before the program changed it; called before a forced end.
void SetInterruptTerminalRestore(void (*restore)());

}  // namespace velscan::platform
