#pragma once
// The metadata file velscan writes beside a table (NAME.json beside NAME),
// read with the scan-file layer's one reader. A file that is not such a
// document, or of a later format version, is set aside with one warning;
// the export then goes on as without it.

#include <optional>
#include <string>
#include <vector>

#include "scanfile/scan_metadata.hpp"

namespace velscan::exporter {

struct TableMetadata {
    std::optional<ScanFacts> metadata;  // absent: no file, or set aside
    std::string warning;                // one line when it was set aside, else empty
    std::string text;                   // the file's bytes, when `metadata` is there
};

// TABLE.json beside `tablePath`, when there is one.
TableMetadata ReadMetadataBeside(const std::string& tablePath);

// The warning when `tableSha256` (of the bytes the table reader read) is not
// the one its metadata file records, else empty.
std::string StaleTableWarning(const std::string& tablePath, const std::string& tableSha256,
                              const ScanFacts& metadata);

// The figures of the table's lines from its metadata, when they describe
// this table: one for each of its `rows` / 5000 lines and the table as
// recorded (its SHA-256 `tableSha256` the one the metadata records); else
// none, and the export goes on without them.
std::vector<LineFigures> LineFiguresOfTable(const ScanFacts& metadata, std::size_t rows,
                                            const std::string& tableSha256);

// The pictures' second title part: "2026-12-09 07:30 UTC, -s 20 -r 650
// -p 255, 10 of 10 lines, lost samples in lines 3, 7"; facts not known are
// left out.
std::string MetadataTitle(const ScanFacts& metadata);

}  // namespace velscan::exporter
