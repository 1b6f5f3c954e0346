// The Windows console: the C runtime's console keyboard functions.
#include <conio.h>

#include "platform/console.hpp"
#include "platform/keyboard_console.hpp"

namespace velscan::platform {

std::unique_ptr<Console> CreateSystemConsole() {
    return CreateKeyboardConsole({
        .keyHit = [] { return _kbhit(); },
        .readCode = [] { return _getch(); },
    });
}

// The console's mode is never changed here.
void RestoreConsoleMode() noexcept {}

}  // namespace velscan::platform
