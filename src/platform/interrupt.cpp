#include "platform/interrupt.hpp"

#include <atomic>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#include <stdlib.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace velscan::platform {

namespace {

// Everything the handler touches is lock-free atomic or written before the
// handler is installed, so the handler stays async-signal-safe.
std::atomic<int> g_requests{0};
std::atomic<bool> g_installed{false};
std::atomic<int> g_forcedExitCode{3};
std::atomic<void (*)()> g_restoreTerminal{nullptr};
std::atomic<bool> g_cleanupFileSet{false};
// A status line may stand on the terminal: the forced end starts a new line.
std::atomic<bool> g_errorIsTerminal{false};
char g_cleanupFile[4096];

[[noreturn]] void ForcedEnd() {
    if (void (*restore)() = g_restoreTerminal.load()) restore();
    if (g_errorIsTerminal.load()) {
#ifdef _WIN32
        (void)_write(2, "\n", 1);
#else
        (void)write(2, "\n", 1);
#endif
    }
    if (g_cleanupFileSet.load()) {
#ifdef _WIN32
        DeleteFileA(g_cleanupFile);
#else
        unlink(g_cleanupFile);
#endif
    }
    _exit(g_forcedExitCode.load());
}

void OnInterrupt() {
    const int previous = g_requests.fetch_add(1);
    if (previous >= 1 && g_installed.load()) ForcedEnd();
}

#ifdef _WIN32
BOOL WINAPI ConsoleControlHandler(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    OnInterrupt();
    return TRUE;
}
#else
struct sigaction g_previousAction;

void SignalHandler(int) { OnInterrupt(); }
#endif

}  // namespace

InterruptGuard::InterruptGuard(int forcedExitCode) {
    g_forcedExitCode.store(forcedExitCode);
    g_requests.store(0);
    g_installed.store(true);
#ifdef _WIN32
    g_errorIsTerminal.store(_isatty(2) != 0);
    SetConsoleCtrlHandler(ConsoleControlHandler, TRUE);
#else
    g_errorIsTerminal.store(isatty(2) != 0);
    struct sigaction action {};
    action.sa_handler = SignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_previousAction);
#endif
}

InterruptGuard::~InterruptGuard() {
#ifdef _WIN32
    SetConsoleCtrlHandler(ConsoleControlHandler, FALSE);
#else
    sigaction(SIGINT, &g_previousAction, nullptr);
#endif
    g_installed.store(false);
    g_requests.store(0);
    SetInterruptCleanupFile(nullptr);
}

bool InterruptRequested() { return g_requests.load() > 0; }

void RequestInterrupt() { OnInterrupt(); }

void SetInterruptCleanupFile(const char* path) {
    g_cleanupFileSet.store(false);
    if (path == nullptr) return;
    const std::size_t length = std::strlen(path);
    if (length >= sizeof g_cleanupFile) return;
    std::memcpy(g_cleanupFile, path, length + 1);
    g_cleanupFileSet.store(true);
}

void SetInterruptTerminalRestore(void (*restore)()) { g_restoreTerminal.store(restore); }

}  // namespace velscan::platform
