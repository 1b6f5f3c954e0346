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
    const std::string reason = failure->why ? ": " + failure->why.message() : std::string();
    // Nothing unfinished stays: the table can be exported again.
    files_.Discard();
    switch (failure->stage) {
        case files::CommitFailure::Stage::Write:
            throw OutputError("Error: writing " + target + " failed" + reason);
        case files::CommitFailure::Stage::Replace:
            throw OutputError("Error: Can't create the file " + target + reason);
        case files::CommitFailure::Stage::Undone: break;
    }
    throw OutputsChangedError("Error: Can't create the file " + target + reason + "; " +
                              files::DescribeChangedTargets(*failure));
}

}  // namespace velscan::exporter
