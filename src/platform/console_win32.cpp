// The Windows console: the C runtime's console keyboard functions.
#include <conio.h>

#include <cstdio>

#include "platform/console.hpp"
#include "platform/console_keys.hpp"

namespace velscan::platform {

namespace {

class Win32Console final : public Console {
public:
    bool KeyWaiting() override { return _kbhit() != 0; }
    int ReadKey() override { return ReadKeystroke([] { return _getch(); }); }
    int ReadCharacter() override { return std::getchar(); }
};

}  // namespace

std::unique_ptr<Console> CreateSystemConsole() { return std::make_unique<Win32Console>(); }

// The console's mode is never changed here.
void RestoreConsoleMode() noexcept {}

}  // namespace velscan::platform
