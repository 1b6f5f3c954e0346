#pragma once
// One export of a table: the table and the metadata file beside it read,
// its angles recovered, and the outputs asked for written and put in place
// together. velscan-export runs it from its command line; velscan-live runs
// it at the end of a scan for the picture and the viewer, so both write the
// same files the same way.

#include "export/export_format.hpp"
#include "export/export_options.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

#include <vector>

namespace velscan::exporter {

struct ExportedTable {
    ScanTable table;
    ScanAngles angles;
    ExportSettings settings;  // the options' own, with the setup applied
    std::vector<LineFigures> figures;  // the lines' figures of its metadata file, when they hold
};

// Throws TableError when the table is not velscan's and OutputError when an
// output could not be written (ProfileError for a profile that cannot be
// used). The metadata file's warnings (set aside, a stale table) go to
// `warnOfMetadata`, the setup's and the outputs' (rows left out) to
// `warnOfOutputs`.
ExportedTable ExportTable(const ExportOptions& options, const WarningSink& warnOfMetadata,
                          const WarningSink& warnOfOutputs);

}  // namespace velscan::exporter
