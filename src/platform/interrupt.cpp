#include "platform/interrupt.hpp"

#include "platform/files/unfinished_files.hpp"

#include <atomic>
#include <utility>

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

// Everything a handler touches is lock-free atomic or written before the
// handler is installed, so the handlers stay async-signal-safe.
std::atomic<int> g_requests{0};
std::atomic<bool> g_installed{false};
std::atomic<bool> g_forcedEnd{false};
std::atomic<bool> g_actionRunning{false};
// True while g_forcedEndAction holds an action that may be run; cleared before
// the action is changed, so the handler side never sees one half assigned.
std::atomic<bool> g_actionArmed{false};
std::atomic<bool> g_cutPauses{false};
std::atomic<int> g_forcedExitCode{3};
std::atomic<void (*)()> g_restoreTerminal{nullptr};
// A status line may stand on the terminal: the forced end starts a new line.
std::atomic<bool> g_errorIsTerminal{false};
// Only the main thread reads or writes it.
std::function<void()> g_forcedEndAction;

// How long the handler side gives the main thread to carry out a forced end,
// and then the action it runs itself.
constexpr unsigned kForcedEndGraceSeconds = 2;
constexpr unsigned kLastResortSeconds = 1;

// The end of the program without the action: safe in a signal handler.
[[noreturn]] void EndNow() {
    if (void (*restore)() = g_restoreTerminal.load()) restore();
    if (g_errorIsTerminal.load()) {
#ifdef _WIN32
        (void)_write(2, "\n", 1);
#else
        (void)write(2, "\n", 1);
#endif
    }
    files::RemoveUnfinishedFiles();
    _exit(g_forcedExitCode.load());
}

// Runs the forced-end action once, unless it is running or already ran.
void RunActionOnce() {
    if (g_actionRunning.exchange(true)) return;
    if (!g_actionArmed.exchange(false)) return;
    try {
        std::exchange(g_forcedEndAction, nullptr)();
    } catch (...) {
        // best effort: the program ends all the same
    }
}

// The handler side's last resort, when the main thread did not carry out the
// forced end in time: link and card are still released, then the program ends.
[[noreturn]] void EndFromHandlerSide() {
    RunActionOnce();
    EndNow();
}

// True when this request is the second one, which asks for the forced end.
bool OnRequest() {
    const int previous = g_requests.fetch_add(1);
    if (previous < 1 || !g_installed.load()) return false;
    g_forcedEnd.store(true);
    return true;
}

#ifdef _WIN32
// Set when the guarded run is over, so a close event may let the system end
// the process. Manual reset; never closed, since a handler thread may wait on it.
HANDLE RunFinishedEvent() {
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// Runs on a thread of its own. The system ends the process when the handler
// of a close, logoff or shutdown event returns (or after about 5 s), so the
// handler waits for the run to stop, save and close first.
BOOL WINAPI ConsoleControlHandler(DWORD event) {
    const bool closing = event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT ||
                         event == CTRL_SHUTDOWN_EVENT;
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && !closing) return FALSE;
    const bool forced = OnRequest();
    if (forced) {
        // The main thread ends the process from its next wait; if it does not
        // get there in time, the end comes from here, without the action.
        WaitForSingleObject(RunFinishedEvent(), kForcedEndGraceSeconds * 1000);
        if (g_installed.load()) EndFromHandlerSide();
    } else if (closing) {
        WaitForSingleObject(RunFinishedEvent(), 4500);
    }
    return TRUE;
}
#else
struct sigaction g_previousActions[4];
struct sigaction g_previousAlarm;
constexpr int kRequestSignals[4] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void SignalHandler(int) {
    // The forced end belongs to the main thread; the alarm ends the program
    // should the main thread be held somewhere it does not look.
    if (OnRequest()) alarm(kForcedEndGraceSeconds);
}

// Installed with SA_NODEFER: the alarm of the last resort interrupts an
// action that hangs, and then the program ends without it.
void AlarmHandler(int) {
    if (!g_forcedEnd.load()) return;
    if (g_actionRunning.load()) EndNow();
    alarm(kLastResortSeconds);
    EndFromHandlerSide();
}
#endif

}  // namespace

InterruptGuard::InterruptGuard(int forcedExitCode) {
    g_forcedExitCode.store(forcedExitCode);
    g_requests.store(0);
    g_forcedEnd.store(false);
    g_installed.store(true);
#ifdef _WIN32
    ResetEvent(RunFinishedEvent());
    g_errorIsTerminal.store(_isatty(2) != 0);
    SetConsoleCtrlHandler(ConsoleControlHandler, TRUE);
#else
    g_errorIsTerminal.store(isatty(2) != 0);
    // A reader that went away makes writes fail with EPIPE instead of ending
    // the program; it stays so for the rest of the process.
    signal(SIGPIPE, SIG_IGN);
    // A file-size limit fails the write (EFBIG) instead of ending the program.
    signal(SIGXFSZ, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = SignalHandler;
    sigemptyset(&action.sa_mask);
    for (const int request : kRequestSignals) sigaddset(&action.sa_mask, request);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 4; ++i) sigaction(kRequestSignals[i], &action, &g_previousActions[i]);
    struct sigaction alarmAction {};
    alarmAction.sa_handler = AlarmHandler;
    sigemptyset(&alarmAction.sa_mask);
    alarmAction.sa_flags = SA_NODEFER;
    sigaction(SIGALRM, &alarmAction, &g_previousAlarm);
#endif
}

InterruptGuard::~InterruptGuard() {
#ifdef _WIN32
    SetConsoleCtrlHandler(ConsoleControlHandler, FALSE);
#else
    for (int i = 0; i < 4; ++i) sigaction(kRequestSignals[i], &g_previousActions[i], nullptr);
    alarm(0);
    sigaction(SIGALRM, &g_previousAlarm, nullptr);
#endif
    g_installed.store(false);
    g_requests.store(0);
    g_forcedEnd.store(false);
    g_actionArmed.store(false);
    g_forcedEndAction = nullptr;
    g_actionRunning.store(false);
#ifdef _WIN32
    SetEvent(RunFinishedEvent());
#endif
}

bool InterruptRequested() { return g_requests.load() > 0; }

void RequestInterrupt() { (void)OnRequest(); }

bool ForcedEndRequested() { return g_forcedEnd.load() && g_installed.load(); }

void HonourForcedEnd() {
    if (!ForcedEndRequested()) return;
    // The action may itself wait (a motor-stop control pauses): those waits
    // come back here and must not run it again.
    if (g_actionRunning.load()) return;
    RunActionOnce();
    EndNow();
}

void SetForcedEndAction(std::function<void()> action) {
    g_actionArmed.store(false);
    g_forcedEndAction = std::move(action);
    g_actionArmed.store(static_cast<bool>(g_forcedEndAction));
}

StopCutsPauses::StopCutsPauses() { g_cutPauses.store(true); }

StopCutsPauses::~StopCutsPauses() { g_cutPauses.store(false); }

bool PausesCutByStop() { return g_cutPauses.load() && g_requests.load() > 0; }

void SetInterruptTerminalRestore(void (*restore)()) { g_restoreTerminal.store(restore); }

}  // namespace velscan::platform
