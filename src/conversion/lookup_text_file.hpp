#pragma once

#include <string>

namespace velscan {

// Reads every byte of the file into `bytes`, with no line end translation;
// false when it cannot be opened or read.
bool ReadWholeFile(const std::string& fileName, std::string& bytes);

}  // namespace velscan
