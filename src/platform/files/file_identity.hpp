#pragma once
// Paths compared as the files they name, so that "./out.txt", "dir/../out.txt"
// and a symbolic link to out.txt all count as out.txt.

#include <optional>
#include <string>

namespace velscan::files {

// True when `a` and `b` name the same file. Existing files are compared by
// identity (device and inode; on Windows volume serial number and file
// index); a path that does not exist yet by its directory's canonical path
// and its name (symbolic links followed, dangling ones too; case-insensitive
// on Windows).
bool SameFile(const std::string& a, const std::string& b);

// The path with symbolic links in its last part followed, dangling ones too;
// the path itself when it is no link. Nullopt for a loop of links (more than
// 40 in a row), which names no file at all.
std::optional<std::string> FollowLinks(const std::string& path);

}  // namespace velscan::files
