#pragma once
// The console seam: the keyboard poll of the line loop and the one character
// read after the usage text.

#include <memory>

namespace velscan::platform {

class Console {
public:
    virtual ~Console() = default;
    // True when a keystroke is waiting; never blocks.
    virtual bool KeyWaiting() = 0;
    // Reads one waiting keystroke without echo; the character code.
    virtual int ReadKey() = 0;
    // Reads one character from standard input (waits for Enter on a console).
    virtual int ReadCharacter() = 0;
};

// The process's own console (Windows: _kbhit/_getch; POSIX: a terminal in raw
// mode, restored on every exit path, or poll() on a pipe).
std::unique_ptr<Console> CreateSystemConsole();

}  // namespace velscan::platform
