#pragma once
// The names of the files that stand beside a table or a capture.

#include <string>

namespace velscan {

// The metadata file of a table or capture: its name with ".json" appended.
inline std::string MetadataFileName(const std::string& described) { return described + ".json"; }

// The raw capture a run keeps beside its table unless told otherwise: the
// table's name with ".capture" appended.
inline std::string CaptureFileName(const std::string& table) { return table + ".capture"; }

}  // namespace velscan
