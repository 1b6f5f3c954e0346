#pragma once
// One keystroke from the Windows console's character reader: an extended key
// (arrows, function keys) arrives as a prefix code, 0 or 0xE0, followed by its
// scan code. Both belong to the same keystroke, so both are read, and the
// keystroke is given as 0x100 | scan code. Otherwise a later poll would take
// the scan code for a key of its own: Alt+F10's scan code is 'q'.

#include <functional>

namespace velscan::platform {

inline constexpr int kExtendedKeyFlag = 0x100;

int ReadKeystroke(const std::function<int()>& readCode);

}  // namespace velscan::platform
