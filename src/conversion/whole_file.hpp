#pragma once
// Reading an input file whole: the lookup file, and the simulation's scene
// and replay files. Only a regular file of bounded size is read, so a FIFO
// never blocks the run and a device such as an endless stream of zeros never
// exhausts its memory.

#include <cstdint>
#include <string>

namespace velscan {

// Reads every byte of the regular file into `bytes`, with no line end
// translation; false when it is no regular file, is larger than `maxBytes`,
// or cannot be opened or read. `reason`, when given, then receives why, in
// words that follow the file's name ("no such file or directory").
bool ReadWholeFile(const std::string& fileName, std::string& bytes, std::uintmax_t maxBytes,
                   std::string* reason = nullptr);

}  // namespace velscan
