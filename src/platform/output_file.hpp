#pragma once
// Files of the operating system for the measurement table: a new file with a
// unique name beside the target, and the replacement of the target by it.

#include <cstdio>
#include <string>

namespace velscan::platform {

// Creates a file that did not exist before, named `prefix` followed by a
// unique suffix, and opens it for writing in text mode (on Windows "\n" is
// stored as carriage return and line feed). The new file gets the permissions
// an ordinary new file gets. Null when no such file can be created;
// `createdPath` then stays empty.
std::FILE* CreateNewTextFile(const std::string& prefix, std::string& createdPath);

// Renames `from` to `to`, replacing `to` if it exists, in one step where the
// file system allows it. True on success.
bool RenameReplacing(const std::string& from, const std::string& to);

// True when the stream is connected to a terminal (a console window on Windows).
bool IsTerminal(std::FILE* stream);

}  // namespace velscan::platform
