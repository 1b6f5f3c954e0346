#include "platform/files/console_window.hpp"

#include <windows.h>

#include <conio.h>

#include <cstdio>

namespace velscan::files {

int HoldConsoleWindowAfterFailure(int exitCode) {
    ConsoleWindowFacts facts;
    facts.exitCode = exitCode;
    // Two entries are enough to tell "this program alone" from "shared".
    DWORD processes[2] = {};
    facts.consoleProcesses = GetConsoleProcessList(processes, 2);
    DWORD mode = 0;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    facts.inputIsConsole = input != nullptr && input != INVALID_HANDLE_VALUE && GetConsoleMode(input, &mode) != 0;
    if (!KeepConsoleWindowOpen(facts)) return exitCode;
    std::fflush(stdout);
    std::fputs(kPressAKeyToClose, stderr);
    std::fflush(stderr);
    (void)_getch();
    return exitCode;
}

}  // namespace velscan::files
