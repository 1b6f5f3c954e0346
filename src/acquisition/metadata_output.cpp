#include "acquisition/metadata_output.hpp"

#include <cstdio>

#include "acquisition/scan_metadata.hpp"

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

bool WriteMetadataFile(const std::string& described, const std::string& text) {
    files::OutputFiles outputs(".velscan");
    std::error_code why;
    files::OutputFile* const output = CreateMetadataOutput(outputs, described, why);
    if (output == nullptr || !WriteMetadataText(*output, text)) return false;
    if (outputs.Commit()) {
        outputs.Discard();
        return false;
    }
    return true;
}

}  // namespace velscan
