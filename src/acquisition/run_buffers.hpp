#pragma once
// The run's raw line buffer: one buffer line of raw samples as the card
// delivers it, reused for every line. Process-wide, zero at program start,
// reserved once; the measurement array lives beside the file writer.

#include <span>

#include "conversion/samples.hpp"
#include "scanfile/line_figures.hpp"

namespace velscan {

std::span<RawSample, kSamplesPerLine> RawLineBuffer();

// The figures of the run's lines, with room for every line, made once.
ScanLineFigures& RunLineFigures();

}  // namespace velscan
