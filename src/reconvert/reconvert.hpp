#pragma once
// velscan-reconvert's work: a capture of raw records converted into a table
// again, through the card library's own conversion, with the settings and
// calibration value of its metadata file; the table and its metadata file
// committed together, or nothing written.

#include <cstdio>
#include <string>
#include <vector>

#include "reconvert/reconvert_options.hpp"

namespace velscan::reconvert {

// The exit code: 0 when the table and its metadata file are in place, 3 when
// anything could not be converted or written (one "Error: " line on `err`,
// nothing left behind). `commandLine` is recorded in the metadata file.
int Reconvert(const ReconvertOptions& options, const std::vector<std::string>& commandLine,
              std::FILE* out, std::FILE* err);

}  // namespace velscan::reconvert
