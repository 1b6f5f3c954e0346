#include "scanfile/metadata_output.hpp"

#include <cstdio>

#include "scanfile/file_names.hpp"

namespace velscan {

files::OutputFile* CreateMetadataOutput(files::OutputFiles& outputs, const std::string& described,
                                        std::error_code& why) {
    // Binary: the same bytes on every system, one "\n" per line.
    return outputs.Create(MetadataFileName(described), files::Content::Binary, why);
}

bool WriteMetadataText(files::OutputFile& output, const std::string& text) {
    std::FILE* const stream = output.Stream();
    if (stream == nullptr) return false;
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

}  // namespace velscan
