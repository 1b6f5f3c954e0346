#pragma once
// What velscan-reconvert takes from a capture's metadata file (CAPTURE.json):
// the settings and calibration value to convert with, where the lines lie,
// the hashes of the recording's lookup file and table, and the facts of the
// recording that still hold for the table made again.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "acquisition/scan_metadata.hpp"

namespace velscan::reconvert {

struct RecordedScan {
    std::optional<std::int32_t> samplePeriod, maxRange, calibrationValue;
    std::optional<std::int32_t> linesRecorded;
    std::optional<std::uint64_t> samplingStartsAtRecord;
    std::optional<std::string> lookupSha256, tableSha256;
    // Times, settings, range finder, faults, clock, lines asked and lost.
    ScanFacts carried;
};

// The document's text read; a message ("... is not ...") when it is not a
// metadata file this program knows (foreign, broken, of a later version).
std::variant<RecordedScan, std::string> ParseRecordedScan(const std::string& text, const std::string& name);

}  // namespace velscan::reconvert
