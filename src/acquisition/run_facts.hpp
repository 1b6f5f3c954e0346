#pragma once
// Gathers what a run's metadata file records, step by step as the run learns
// it: the plan and the settings at the start, the card's values after its
// configuration, the lookup file as it was read, the lines, the rows, the
// files written and how the run ended.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/backend_chooser.hpp"
#include "acquisition/command_line.hpp"
#include "acquisition/line_loop.hpp"
#include "acquisition/run_configuration.hpp"
#include "scanfile/capture_file.hpp"
#include "scanfile/scan_metadata.hpp"
#include "cardlib/vexa.hpp"
#include "conversion/samples.hpp"

namespace velscan {

// Program, system, command line, settings, backend, faults, clock, and the
// instrument profile and pose when given.
void RecordRunStart(ScanFacts& facts, const RunSettings& settings, const BackendPlan& plan,
                    std::vector<std::string> commandLine);

// The range finder's and the card's part of the plan; `portNumber` names the
// numbered port.
MetadataBackendPart LaserFacts(const BackendPlan& plan, std::int32_t portNumber);
MetadataBackendPart CardFacts(const BackendPlan& plan);

// The card's values once configured as far as `progress` says, and the lookup
// file `lookupFile` hashed right after the loader read it.
void RecordConfiguration(ScanFacts& facts, const BoardSlot& slot,
                         const ConfigurationProgress& progress, const std::string& lookupFile,
                         bool olderVersion);

// Lines asked and recorded, and the 0-based index of each line that lost samples.
void RecordLines(ScanFacts& facts, std::int32_t linesAsked, const LineLoopResult& loop);

// The capture at `path` as it was written: its records and digest, where
// sampling starts.
MetadataCapture CaptureFacts(const std::string& path, const CaptureFigures& figures);

// How the run ended, from its exit code, whether a stop request ended the
// lines early, and the first error line printed.
MetadataEnd EndFacts(int exitCode, bool stoppedEarly, const std::string& firstErrorLine);

}  // namespace velscan
