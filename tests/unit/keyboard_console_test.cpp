// The Windows console's keyboard logic over a fake _kbhit/_getch: under Wine
// the real functions do not see keys typed in a terminal.
#include "platform/keyboard_console.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace velscan {
namespace {

// Codes as the C runtime's console reader gives them: an extended key is two
// codes (0 or 0xE0, then its scan code), and _kbhit is true while any is left.
struct FakeKeyboard {
    std::deque<int> codes;
    int hitCalls = 0;

    platform::KeyboardFunctions Functions() {
        return {
            .keyHit = [this] { ++hitCalls; return codes.empty() ? 0 : 1; },
            .readCode = [this] {
                const int code = codes.front();
                codes.pop_front();
                return code;
            },
        };
    }
};

TEST(KeyboardConsole, LookingDoesNotTakeTheKeyAndReadingTakesOneKeystroke) {
    FakeKeyboard keyboard;
    const auto console = platform::CreateKeyboardConsole(keyboard.Functions());
    EXPECT_FALSE(console->KeyWaiting());

    keyboard.codes = {'q', 'a'};
    EXPECT_TRUE(console->KeyWaiting());
    EXPECT_TRUE(console->KeyWaiting());
    EXPECT_EQ(keyboard.codes.size(), 2u) << "a look must not use a key up";
    EXPECT_EQ(console->ReadKey(), 'q');
    EXPECT_EQ(console->ReadKey(), 'a');
    EXPECT_FALSE(console->KeyWaiting());
    EXPECT_EQ(keyboard.hitCalls, 4);
}

TEST(KeyboardConsole, PolledOncePerLineOnlyAPlainQIsSeenAsQ) {
    FakeKeyboard keyboard;
    const auto console = platform::CreateKeyboardConsole(keyboard.Functions());
    // Alt+F10 (prefix 0, scan code 0x71 = 'q'), an arrow (0xE0 0x48), then q.
    keyboard.codes = {0, 0x71, 0xE0, 0x48, 'Q', 'q'};
    std::vector<int> keys;
    for (int line = 0; line < 6 && console->KeyWaiting(); ++line) keys.push_back(console->ReadKey());
    EXPECT_EQ(keys, (std::vector<int>{0x171, 0x148, 'Q', 'q'}));
    EXPECT_TRUE(keyboard.codes.empty());
}

}  // namespace
}  // namespace velscan
