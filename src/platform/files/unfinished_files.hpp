#pragma once
// The files the program is still writing under a temporary name, kept where a
// forced end (a signal handler, or the last moment before _exit) can remove
// every one of them without allocating or taking a lock.

#include <cstddef>
#include <string>

namespace velscan::files {

// The most unfinished files at one time; more are written all the same, but
// a forced end cannot remove them.
inline constexpr std::size_t kMaxUnfinishedFiles = 8;

// Registers `path` (a file that exists and is not finished). Returns its
// slot, or kMaxUnfinishedFiles when every slot is taken or the path is
// longer than 4095 bytes.
std::size_t RegisterUnfinished(const std::string& path);

// The file in `slot` is finished, kept or removed: a forced end leaves it.
void ForgetUnfinished(std::size_t slot);

// Removes every registered file. Async-signal-safe: it only reads atomics
// and fixed buffers and calls unlink (DeleteFileW on Windows).
void RemoveUnfinishedFiles();

}  // namespace velscan::files
