#pragma once
// What a metadata file says of the lookup file a conversion read.

#include <string>

#include "scanfile/scan_metadata.hpp"

namespace velscan {

// The lookup file `name` just read: its size and digest, read once more
// right after the load (both, or neither when it can no longer be read), the
// sample rate offset in use and whether the older version's fallback was taken.
MetadataLookup LookupFileFacts(const std::string& name, double sampleRateOffset, bool olderVersion);

}  // namespace velscan
