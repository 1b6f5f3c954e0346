#pragma once
// Creates and puts in place the outputs of one run: each is written by its
// format into a temporary file beside its target (export/export_outputs.hpp);
// every one is written and flushed before the first is put in place.

#include <vector>

#include "export/export_format.hpp"
#include "export/export_options.hpp"

namespace velscan::exporter {

// Throws OutputError naming the output that failed; an output not yet put in
// place is removed.
void WriteOutputs(const std::vector<RequestedOutput>& outputs, const ExportJob& job);

}  // namespace velscan::exporter
