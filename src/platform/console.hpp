#pragma once
// The console seam: the line loop's keyboard poll (is a key waiting, read it
// without echo). The wait after the usage text reads standard input itself.

#include <memory>

namespace velscan::platform {

class Console {
public:
    virtual ~Console() = default;
    // True when a keystroke is waiting; never blocks.
    virtual bool KeyWaiting() = 0;
    // Reads one waiting keystroke without echo; the character code.
    virtual int ReadKey() = 0;
};

// The process's own console (Windows: _kbhit/_getch; POSIX: a terminal in raw
// mode, restored on every exit path, or poll() on a pipe).
// POSIX details: raw mode (no line editing, no echo; Ctrl+C still signals) is
// taken only when standard input is a terminal this process may change (not
// from a background job); the mode found is restored by the destructor, at
// exit() and by RestoreConsoleMode(). On a pipe or a file, KeyWaiting is true
// while a byte can be read; once the input has ended it stays false and
// ReadKey gives EOF (-1).
std::unique_ptr<Console> CreateSystemConsole();

// Puts the terminal back into the mode the system console found. Safe to call
// from a signal handler (it only calls tcsetattr), and more than once; does
// nothing when no console changed the terminal, and nothing on Windows.
void RestoreConsoleMode() noexcept;

}  // namespace velscan::platform
