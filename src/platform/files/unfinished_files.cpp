#include "platform/files/unfinished_files.hpp"

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/files/path_name.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <unistd.h>
#endif

namespace velscan::files {

namespace {

using NativeChar = std::filesystem::path::value_type;
constexpr std::size_t kMaxPathChars = 4096;

// A slot is claimed by the main thread (Free -> Claimed), filled, then
// published (Claimed -> Set); only Set slots are ever read by a handler.
enum SlotState : int { kFree, kClaimed, kSet };

struct Slot {
    std::atomic<int> state{kFree};
    NativeChar path[kMaxPathChars];
};

std::array<Slot, kMaxUnfinishedFiles> g_slots;

// How many commit windows are open (one thread commits at a time in
// practice; a count keeps nested or parallel ones right).
std::atomic<int> g_openWindows{0};

// Waits, without anything a signal handler may not call, while a set is
// being renamed on another thread.
void WaitForOpenWindows() {
    for (int waited = 0; g_openWindows.load() > 0 && waited < 10000; ++waited) {
#ifdef _WIN32
        Sleep(1);
#else
        const timespec millisecond{0, 1000000};
        (void)nanosleep(&millisecond, nullptr);
#endif
    }
}

#ifndef _WIN32
static_assert(sizeof(sigset_t) <= 256, "CommitWindow keeps the signal mask in 256 bytes");
#endif

}  // namespace

std::size_t RegisterUnfinished(const std::string& path) {
    const std::filesystem::path::string_type native = PathOf(path).native();
    if (native.empty() || native.size() >= kMaxPathChars) return kMaxUnfinishedFiles;
    for (std::size_t i = 0; i < g_slots.size(); ++i) {
        int expected = kFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, kClaimed)) continue;
        std::memcpy(g_slots[i].path, native.c_str(), (native.size() + 1) * sizeof(NativeChar));
        g_slots[i].state.store(kSet);
        return i;
    }
    return kMaxUnfinishedFiles;
}

void ForgetUnfinished(std::size_t slot) {
    if (slot < g_slots.size()) g_slots[slot].state.store(kFree);
}

void RemoveUnfinishedFiles() {
    WaitForOpenWindows();
    for (Slot& slot : g_slots) {
        if (slot.state.load() != kSet) continue;
#ifdef _WIN32
        DeleteFileW(slot.path);
#else
        ::unlink(slot.path);
#endif
    }
}

}  // namespace velscan::files

namespace velscan::files {

CommitWindow::CommitWindow() : heldSignals_{} {
#ifndef _WIN32
    sigset_t ending;
    sigemptyset(&ending);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM}) sigaddset(&ending, signal);
    sigset_t earlier;
    (void)pthread_sigmask(SIG_BLOCK, &ending, &earlier);
    std::memcpy(heldSignals_, &earlier, sizeof earlier);
#endif
    g_openWindows.fetch_add(1);
}

CommitWindow::~CommitWindow() {
    g_openWindows.fetch_sub(1);
#ifndef _WIN32
    sigset_t earlier;
    std::memcpy(&earlier, heldSignals_, sizeof earlier);
    (void)pthread_sigmask(SIG_SETMASK, &earlier, nullptr);
#endif
}

}  // namespace velscan::files
