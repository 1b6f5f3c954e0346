// Linked into each Windows program (cmake/WindowsPrograms.cmake), beside the
// manifest that makes UTF-8 the program's ANSI code page: its console lines
// are UTF-8 too, so a name typed with letters outside ASCII is shown as typed.
// The console's own code page is set for the program's run and given back
// when it ends normally. Without a console (output to a file or a pipe) the
// bytes go out as they are and nothing is changed.
#include <windows.h>

namespace {

class Utf8ConsoleOutput {
public:
    Utf8ConsoleOutput() : previous_(GetConsoleOutputCP()) {
        if (previous_ != 0 && previous_ != CP_UTF8) changed_ = SetConsoleOutputCP(CP_UTF8) != 0;
    }
    ~Utf8ConsoleOutput() {
        if (changed_) SetConsoleOutputCP(previous_);
    }
    Utf8ConsoleOutput(const Utf8ConsoleOutput&) = delete;
    Utf8ConsoleOutput& operator=(const Utf8ConsoleOutput&) = delete;

private:
    UINT previous_;
    bool changed_ = false;
};

// Before main, so the first line is shown right; ended with the program.
const Utf8ConsoleOutput utf8ConsoleOutput;

}  // namespace
