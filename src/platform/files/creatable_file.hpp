#pragma once
// Whether a file could be created (or an existing one written) at a path,
// found out without creating anything, so every setting can be checked before
// the first file is made.

#include <string>

namespace velscan::files {

// Empty when a regular file can be created at `path` or the file there can be
// written; otherwise why not, as the operating system says it (for example
// "No such file or directory", "Is a directory", "Permission denied").
std::string WhyFileCannotBeCreated(const std::string& path);

}  // namespace velscan::files
