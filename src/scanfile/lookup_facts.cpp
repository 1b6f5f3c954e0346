#include "scanfile/lookup_facts.hpp"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "platform/digest/sha256.hpp"
#include "platform/files/path_name.hpp"

namespace velscan {

MetadataLookup LookupFileFacts(const std::string& name, double sampleRateOffset, bool olderVersion) {
    MetadataLookup facts;
    facts.name = name;
    facts.sha256 = platform::Sha256HexOfFile(name);
    std::error_code why;
    const std::uintmax_t size = std::filesystem::file_size(files::PathOf(name), why);
    if (!why && facts.sha256) facts.size = size;
    if (!facts.size) facts.sha256.reset();  // both or neither
    facts.sampleRateOffset = sampleRateOffset;
    facts.olderVersionFallback = olderVersion;
    return facts;
}

}  // namespace velscan
