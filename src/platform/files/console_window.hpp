#pragma once
// A program started by dropping a file on it in the Explorer runs in a console
// window made for it alone, which closes the moment the program ends: an
// error message would vanish before it was read. Such a window is kept open
// after a failure until a key is pressed.

namespace velscan::files {

// What decides whether the window is kept open.
struct ConsoleWindowFacts {
    // The processes attached to the program's console (Windows:
    // GetConsoleProcessList); 1 when the console was made for this program
    // alone, 0 without a console.
    unsigned long consoleProcesses = 0;
    // True when standard input reads that console, so a key can be awaited.
    bool inputIsConsole = false;
    int exitCode = 0;
};

// True for a failure (a non-zero exit code) in a console of the program's own
// that a key can be read from; false in a Command Prompt the operator opened,
// which stays, and wherever no key could ever come.
bool KeepConsoleWindowOpen(const ConsoleWindowFacts& facts);

inline constexpr const char* kPressAKeyToClose = "Press a key to close this window.\n";

// On Windows, when KeepConsoleWindowOpen holds: says so on standard error and
// waits for a key. Does nothing elsewhere. Returns exitCode.
int HoldConsoleWindowAfterFailure(int exitCode);

}  // namespace velscan::files
