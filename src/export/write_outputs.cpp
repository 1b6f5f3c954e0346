#include "export/write_outputs.hpp"

#include <cstdio>
#include <string>

#include "export/export_outputs.hpp"
#include "export/stream_failure.hpp"

namespace velscan::exporter {
namespace {

[[noreturn]] void WritingFailed(const files::OutputFile& output, const std::string& reason) {
    throw OutputError("Error: writing " + output.Target() + " failed" +
                      (reason.empty() ? "" : ": " + reason));
}

}  // namespace

void WriteOutputs(const std::vector<RequestedOutput>& outputs, const ExportJob& job) {
    ExportOutputs files;
    for (const RequestedOutput& requested : outputs) {
        files::OutputFile& output = files.Create(requested.path);
        try {
            requested.format->write(output.Stream(), job);
        } catch (const StreamFailure& failure) {
            WritingFailed(output, failure.what());
        }
        if (std::ferror(output.Stream())) WritingFailed(output, "");
    }
    // Every output is flushed to the disk and closed before the first one
    // replaces its target; an output not put in place is removed.
    files.Commit();
}

}  // namespace velscan::exporter
