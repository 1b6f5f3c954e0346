#include "export/write_outputs.hpp"

#include <memory>
#include <string>

#include "export/output_target.hpp"
#include "export/stream_failure.hpp"

namespace velscan::exporter {
namespace {

[[noreturn]] void WritingFailed(const OutputTarget& target, const std::string& reason) {
    throw OutputError("Error: writing " + target.Target() + " failed" + (reason.empty() ? "" : ": " + reason));
}

}  // namespace

void WriteOutputs(const std::vector<RequestedOutput>& outputs, const ExportJob& job) {
    std::vector<std::unique_ptr<OutputTarget>> targets;
    for (const RequestedOutput& output : outputs) {
        targets.push_back(std::make_unique<OutputTarget>(output.path));
        OutputTarget& target = *targets.back();
        try {
            output.format->write(target.File(), job);
        } catch (const StreamFailure& failure) {
            WritingFailed(target, failure.what());
        }
        if (std::ferror(target.File())) WritingFailed(target, "");
    }
    // A full disk shows at the latest when the buffers go out: before any
    // output replaces its target.
    for (const auto& target : targets)
        if (std::fflush(target->File()) != 0) WritingFailed(*target, "");
    for (const auto& target : targets) target->Commit();
}

}  // namespace velscan::exporter
