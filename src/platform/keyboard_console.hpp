#pragma once
// The console as the Windows C runtime offers it: a test whether a keystroke is
// waiting and a read of one code without echo. The Windows console passes
// _kbhit and _getch; tests pass
// fakes, since under Wine _kbhit does not see keys typed in a terminal.

#include <functional>
#include <memory>

#include "platform/console.hpp"

namespace velscan::platform {

struct KeyboardFunctions {
    std::function<int()> keyHit;         // non-zero when a keystroke is waiting
    std::function<int()> readCode;       // one code of the waiting keystroke, no echo
};

// KeyWaiting asks keyHit; ReadKey reads a whole keystroke (an extended key's
// prefix and scan code together, see console_keys.hpp).
std::unique_ptr<Console> CreateKeyboardConsole(KeyboardFunctions functions);

}  // namespace velscan::platform
