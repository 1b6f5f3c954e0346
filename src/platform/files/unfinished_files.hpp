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
// and fixed buffers and calls unlink (DeleteFileW on Windows). While a
// CommitWindow is open on another thread it first waits for it to close (at
// most ten seconds), so a set is never cut between its renames.
void RemoveUnfinishedFiles();

// While alive, a step is not cut by a forced end (the renames of a set and
// their undoing; the creation of an unfinished file and its registration):
// in this thread the signals that ask for one (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT and the forced end's SIGALRM) are held back and arrive when it goes; a forced end on another thread (a Windows console handler) waits.
class CommitWindow {
public:
    CommitWindow();
    ~CommitWindow();
    CommitWindow(const CommitWindow&) = delete;
    CommitWindow& operator=(const CommitWindow&) = delete;

private:
    unsigned char heldSignals_[256];  // the thread's earlier signal mask (POSIX)
};

}  // namespace velscan::files
