#pragma once
// What the measurement table's target is, and the system calls that write it
// safely: a symbolic link is written through (the file it names is
// replaced, the link stays), an existing file keeps its permission bits, a
// target that is no regular file (a FIFO, a device) is written in place, and
// the table reaches the disk before it takes the target's name.

#include <cstdio>
#include <optional>
#include <string>

namespace velscan::platform {

struct OutputTarget {
    // The file the finished table replaces: the target, symbolic links followed.
    std::string finalPath;
    // The target exists and is no regular file: it is opened and written in place.
    bool inPlace = false;
    // The permission bits of an existing regular target (POSIX only).
    std::optional<unsigned> permissions;
};

OutputTarget InspectOutputTarget(const std::string& target);

// Opens an existing target that is no regular file for writing, in text mode.
// Never blocks: a FIFO that nobody reads gives null.
std::FILE* OpenInPlace(const std::string& path);

// Gives the open file `permissions`; best effort (nothing on Windows).
void ApplyPermissions(std::FILE* file, unsigned permissions);

// Writes the stream's buffer and makes the system put the file on the disk.
// False when that failed; a file that cannot be synced (a FIFO, a device)
// counts as written.
bool FlushToDisk(std::FILE* file);

// Puts the directory entry of a file just renamed on the disk; best effort.
void SyncDirectoryOf(const std::string& path);

}  // namespace velscan::platform
