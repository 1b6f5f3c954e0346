#include "acquisition/file_conflicts.hpp"

#include <vector>

#include "scanfile/file_names.hpp"
#include "conversion/printable_text.hpp"
#include "platform/files/file_identity.hpp"

namespace velscan {

namespace {

struct NamedFile {
    std::string role;  // how the message names it
    std::string path;
};

}  // namespace

std::optional<std::string> CheckRunFiles(const RunFiles& files) {
    std::vector<NamedFile> written{{"the output file " + PrintableText(files.output), files.output}};
    if (!files.capture.empty())
        written.push_back({(files.captureByDefault ? "the capture file " : "VELSCAN_CAPTURE=") +
                               PrintableText(files.capture),
                           files.capture});
    if (!files.trace.empty()) written.push_back({"VELSCAN_TRACE=" + PrintableText(files.trace), files.trace});
    // The metadata files beside the table and the capture are outputs too.
    const auto addMetadata = [&written](const std::string& described) {
        const std::string name = MetadataFileName(described);
        written.push_back({"the metadata file " + PrintableText(name), name});
    };
    addMetadata(files.output);
    if (!files.capture.empty()) addMetadata(files.capture);
    std::vector<NamedFile> read{{"the lookup file " + PrintableText(files.lookup), files.lookup}};
    if (!files.scene.empty()) read.push_back({"VELSCAN_SIM_SCENE=" + PrintableText(files.scene), files.scene});
    if (!files.replay.empty())
        read.push_back({"VELSCAN_CARD=replay:" + PrintableText(files.replay), files.replay});

    for (std::size_t i = 0; i < written.size(); ++i) {
        std::vector<NamedFile> others(written.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                      written.end());
        others.insert(others.end(), read.begin(), read.end());
        for (const NamedFile& other : others) {
            if (::velscan::files::SameFile(written[i].path, other.path)) {
                return "Error: " + written[i].role + " and " + other.role +
                       " are the same file; the run would overwrite it.\n";
            }
        }
    }
    return std::nullopt;
}

}  // namespace velscan
