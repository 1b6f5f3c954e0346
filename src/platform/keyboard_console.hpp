#pragma once
// The console as the Windows C runtime offers it: a test whether a keystroke is
// waiting, a read of one code without echo, and a character from standard
// input. The Windows console passes _kbhit, _getch and getchar; tests pass
// fakes, since under Wine _kbhit does not see keys typed in a terminal.

#include <functional>
#include <memory>

#include "platform/console.hpp"

namespace velscan::platform {

struct KeyboardFunctions {
    std::function<int()> keyHit;         // non-zero when a keystroke is waiting
    std::function<int()> readCode;       // one code of the waiting keystroke, no echo
    std::function<int()> readCharacter;  // one character of standard input
};

// KeyWaiting asks keyHit; ReadKey reads a whole keystroke (an extended key's
// prefix and scan code together, see console_keys.hpp); ReadCharacter reads one
// character of standard input.
std::unique_ptr<Console> CreateKeyboardConsole(KeyboardFunctions functions);

}  // namespace velscan::platform
