#include "platform/files/unfinished_files.hpp"

#include <array>
#include <atomic>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
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

}  // namespace

std::size_t RegisterUnfinished(const std::string& path) {
    const std::filesystem::path::string_type native = std::filesystem::path(path).native();
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
