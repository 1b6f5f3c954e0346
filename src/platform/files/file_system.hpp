#pragma once
// The operating system's side of the file writer, one implementation per
// system (file_system_posix.cpp, file_system_win32.cpp). Failures come back
// as the system's own error code, so messages can give its reason.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/files/content.hpp"

namespace velscan::files::system {

// What a target is. `finalPath` is the file the finished output replaces:
// the target with symbolic links followed, dangling ones too.
struct Target {
    std::string finalPath;
    bool exists = false;
    // Exists and is no regular file (a FIFO, a device): written in place.
    bool special = false;
    // The permission bits of an existing regular file (POSIX only).
    std::optional<unsigned> permissions;
};

// Why `target` can never be written (a loop of links, a directory, a name
// longer than the file system holds), else the target's description.
std::optional<Target> Inspect(const std::string& target, std::error_code& why);

// Creates `path`, which must not exist yet (O_EXCL, CREATE_NEW); null with
// `why` set otherwise (std::errc::file_exists when the name is taken).
std::FILE* CreateExclusive(const std::string& path, Content content, std::error_code& why);

// Opens `path` for writing without ever waiting for a reader: a FIFO nobody
// reads is refused (no such device or address) instead of blocking. With
// `createOrEmpty` a missing file is created and a regular one emptied.
// Writes block as usual once it is open.
std::FILE* OpenWithoutBlocking(const std::string& path, Content content, bool createOrEmpty,
                               std::error_code& why);

// Gives the open file `permissions`; best effort (nothing on Windows).
void ApplyPermissions(std::FILE* file, unsigned permissions);

// Writes the stream's buffer and makes the system put the file on the disk.
// False when that failed; a file that cannot be synced (a FIFO, a device)
// counts as written.
bool FlushToDisk(std::FILE* file);

// Renames `from` over `to` in one step, replacing it.
bool RenameReplacing(const std::string& from, const std::string& to, std::error_code& why);

// Puts the directory entry of a file just renamed on the disk; best effort.
void SyncDirectoryOf(const std::string& path);

// Removes a file; false when it could not (it may be gone already).
bool Remove(const std::string& path);

// Why the finished file could not take the name `finalPath` now (it became
// a directory, its folder went or cannot be written); empty when nothing
// stands in the way. `exists` tells whether a file stands there now.
std::error_code WhyNotReplaceable(const std::string& finalPath, bool& exists);

// Gives the file `path` a second name `link` (a hard link), which must not
// exist yet (std::errc::file_exists when it does).
bool LinkTo(const std::string& path, const std::string& link, std::error_code& why);

// Holds every committer of a target in these folders (in any process) off
// until it goes: one lock per folder, taken in one order by everyone, held
// across processes, and leaving no file behind (POSIX: flock on the folder;
// Windows: a named mutex keyed by the folder's path). A folder that cannot
// be opened is not locked; the commit then fails at its check.
class FolderLocks {
public:
    explicit FolderLocks(const std::vector<std::string>& finalPaths);
    ~FolderLocks();
    FolderLocks(const FolderLocks&) = delete;
    FolderLocks& operator=(const FolderLocks&) = delete;

private:
    std::vector<std::intptr_t> held_;
};

// A number that differs between processes running at one time.
unsigned long ProcessNumber();

}  // namespace velscan::files::system
