#pragma once
// The names of the files that stand beside a table or a capture.

#include <string>

namespace velscan {

// The metadata file of a table or capture: its name with ".json" appended.
inline std::string MetadataFileName(const std::string& described) { return described + ".json"; }

}  // namespace velscan
