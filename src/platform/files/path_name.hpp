#pragma once
// Names held as narrow strings (the command line, the environment, names made
// from them) turned into std::filesystem::path and back as UTF-8.
//
// On Windows the programs run with UTF-8 as their code page, so a narrow name
// is UTF-8 text; a path made straight from a std::string would read its bytes
// in the C library's locale instead (one letter per byte), and "März.txt"
// would name a file "MÃ¤rz.txt". Going through std::u8string names the file
// the operator typed. On other systems a path is bytes, and both functions
// copy them unchanged, whatever their encoding.

#include <filesystem>
#include <string>
#include <string_view>

namespace velscan::files {

// The path a narrow name stands for. A name that is not UTF-8 (never one from
// the command line on Windows) is taken byte by byte rather than refused.
std::filesystem::path PathOf(std::string_view name);

// The narrow (UTF-8) name of a path; the inverse of PathOf.
std::string NameOf(const std::filesystem::path& path);

}  // namespace velscan::files
