#pragma once
// Where the simulated instrument gets the lookup table it inverts: the same
// LOOKUPHS the program converts with, read with the program's own loader.

#include <memory>
#include <string>
#include <string_view>

#include "sim/raw_synthesis.hpp"

namespace velscan::sim {

// Null when the text's first row is refused.
std::shared_ptr<const RawSynthesis> SynthesisFromText(std::string_view text);
// Null when the file cannot be read.
std::shared_ptr<const RawSynthesis> SynthesisFromFile(const std::string& path);
// The synthetic table of examples/LOOKUPHS.
std::shared_ptr<const RawSynthesis> BuiltInSynthesis();
// LOOKUPHS of the working directory, or the synthetic table when there is none
// (the program refuses to run without it anyway).
std::shared_ptr<const RawSynthesis> WorkingDirectorySynthesis();

}  // namespace velscan::sim
