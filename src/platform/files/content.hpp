#pragma once
// How an output's bytes reach the file.

namespace velscan::files {

enum class Content {
    Text,    // "\n" is stored as the platform's line end (CR LF on Windows)
    Binary,  // every byte as written
};

}  // namespace velscan::files
