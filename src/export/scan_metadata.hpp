#pragma once
// The metadata file velscan writes beside a table (NAME.json beside NAME):
// the facts of it velscan-export uses. A file that is not such a document,
// or of a later format version, is set aside with one warning; the export
// then goes on as without it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velscan::exporter {

inline constexpr std::string_view kMetadataFormatName = "velscan-scan-metadata";
inline constexpr int kMetadataFormatVersion = 1;
// A metadata file is a few kilobytes; a larger file beside a table is not one.
inline constexpr std::size_t kMaxMetadataBytes = std::size_t{4} << 20;

struct ScanMetadata {
    std::optional<std::string> start;  // UTC, ISO 8601
    std::optional<long long> samplePeriod, maxRange, motorPower;  // -s (µs), -r, -p
    std::optional<long long> linesAsked, linesRecorded;
    std::vector<long long> linesWithLostSamples;  // 0-based
    std::optional<std::string> tableSha256;       // lower-case hex
};

struct MetadataReading {
    std::optional<ScanMetadata> metadata;  // absent: no file, or set aside
    std::string warning;                   // one line when it was set aside, else empty
};

// The document `text`, named `name` in the warning.
MetadataReading ParseMetadata(std::string_view text, const std::string& name);

// TABLE.json beside `tablePath`, when it is a regular file.
MetadataReading ReadMetadataBeside(const std::string& tablePath);

// The warning when the table's SHA-256 is not the one of its metadata file,
// else empty.
std::string StaleTableWarning(const std::string& tablePath, const ScanMetadata& metadata);

// The pictures' second title part: "2026-12-09 07:30 UTC, -s 20 -r 650
// -p 255, 10 of 10 lines, lost samples in lines 3, 7"; facts not known are
// left out.
std::string MetadataTitle(const ScanMetadata& metadata);

}  // namespace velscan::exporter
