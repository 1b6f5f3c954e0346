#include <windows.h>

#include <stdlib.h>

#include "platform/files/forced_end.hpp"
#include "platform/files/unfinished_files.hpp"

namespace velscan::files {

namespace {

// Runs on a thread of its own, so a set being renamed on the main thread is
// waited for (RemoveUnfinishedFiles), then the process ends from here.
BOOL WINAPI EndNow(DWORD event) {
    int code = 0;
    switch (event) {
        case CTRL_C_EVENT: code = kExitInterrupted; break;
        case CTRL_BREAK_EVENT: code = kExitQuit; break;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: code = kExitHungUp; break;
        default: return FALSE;
    }
    RemoveUnfinishedFiles();
    _exit(code);
}

}  // namespace

void EndOnRequestRemovingUnfinishedFiles() noexcept { SetConsoleCtrlHandler(EndNow, TRUE); }

}  // namespace velscan::files
