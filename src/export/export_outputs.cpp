#include "export/export_outputs.hpp"

#include <optional>
#include <system_error>

namespace velscan::exporter {

files::OutputFile& ExportOutputs::Create(const std::string& target) {
    std::error_code whyNot;
    files::OutputFile* output = files_.Create(target, files::Content::Binary, whyNot);
    if (output == nullptr) throw OutputError("Error: Can't create the file " + target);
    return *output;
}

void ExportOutputs::Commit() {
    const std::optional<files::CommitFailure> failure = files_.Commit();
    if (!failure) return;
    const std::string& target = failure->output->Target();
    if (failure->stage == files::CommitFailure::Stage::Write)
        throw OutputError("Error: writing " + target + " failed");
    throw OutputError("Error: Can't create the file " + target + ": " + failure->why.message());
}

}  // namespace velscan::exporter
