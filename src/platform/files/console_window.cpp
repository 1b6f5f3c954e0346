#include "platform/files/console_window.hpp"

namespace velscan::files {

bool KeepConsoleWindowOpen(const ConsoleWindowFacts& facts) {
    return facts.exitCode != 0 && facts.consoleProcesses == 1 && facts.inputIsConsole;
}

}  // namespace velscan::files
