#pragma once
// How an output's bytes reach the file.

#include <string_view>

namespace velscan::files {

enum class Content {
    Text,    // "\n" is stored as the platform's line end (CR LF on Windows)
    Binary,  // every byte as written
};

// What a "\n" written as Content::Text becomes in the file.
#ifdef _WIN32
inline constexpr std::string_view kTextLineEnd = "\r\n";
#else
inline constexpr std::string_view kTextLineEnd = "\n";
#endif

}  // namespace velscan::files
