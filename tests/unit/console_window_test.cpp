#include "platform/files/console_window.hpp"

#include <gtest/gtest.h>

namespace velscan::files {
namespace {

// Only a failure in a console made for the program alone, whose input is that
// console, keeps the window open.
TEST(KeepConsoleWindowOpen, OnlyAFailureInAConsoleOfTheProgramsOwnWaitsForAKey) {
    EXPECT_TRUE(KeepConsoleWindowOpen({.consoleProcesses = 1, .inputIsConsole = true, .exitCode = 3}));
    EXPECT_TRUE(KeepConsoleWindowOpen({.consoleProcesses = 1, .inputIsConsole = true, .exitCode = 2}));
    EXPECT_TRUE(KeepConsoleWindowOpen({.consoleProcesses = 1, .inputIsConsole = true, .exitCode = -1}));
    // Success closes the window at once.
    EXPECT_FALSE(KeepConsoleWindowOpen({.consoleProcesses = 1, .inputIsConsole = true, .exitCode = 0}));
    // A Command Prompt (or any shell) shares its console: it stays open anyway.
    EXPECT_FALSE(KeepConsoleWindowOpen({.consoleProcesses = 2, .inputIsConsole = true, .exitCode = 3}));
    // No console at all, as in a service or under a test runner.
    EXPECT_FALSE(KeepConsoleWindowOpen({.consoleProcesses = 0, .inputIsConsole = false, .exitCode = 3}));
    // Input from a file or a pipe: no key would ever come.
    EXPECT_FALSE(KeepConsoleWindowOpen({.consoleProcesses = 1, .inputIsConsole = false, .exitCode = 3}));
}

}  // namespace
}  // namespace velscan::files
