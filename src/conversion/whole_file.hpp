#pragma once
// Reading an input file whole: the lookup file, and the simulation's scene
// and replay files. Only a regular file of bounded size is read, so a FIFO
// never blocks the run and a device such as an endless stream of zeros never
// exhausts its memory.

#include <cstdint>
#include <string>

namespace velscan {

// Sensible upper bounds: the lookup file is about 110 kB.
inline constexpr std::uintmax_t kMaxLookupFileBytes = std::uintmax_t{1} << 20;

// Reads every byte of the regular file into `bytes`, with no line end
// translation; false when it is no regular file, is larger than `maxBytes`,
// or cannot be opened or read.
bool ReadWholeFile(const std::string& fileName, std::string& bytes,
                   std::uintmax_t maxBytes = kMaxLookupFileBytes);

}  // namespace velscan
