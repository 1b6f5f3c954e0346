#pragma once
// The metadata file beside a table or a capture (NAME.json): how the scan
// was taken, what it holds and how its run ended. velscan and
// velscan-reconvert write it, velscan-export and velscan-reconvert read it,
// all through the one type below; a fact that is not known is null, never
// guessed.
//
// Every text member (paths, arguments, the system's name) is kept whatever
// its bytes: valid UTF-8 stands as a JSON string as it is, any other text as
// the object {"bytes": "<lower-case hex of every byte>"}. The reader reverses
// both, so a name of any bytes comes back as it went in.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "scanfile/file_names.hpp"
#include "scanfile/line_figures.hpp"

namespace velscan {

// The layout's name and version; a reader refuses a higher version.
inline constexpr const char* kMetadataFormatName = "velscan-scan-metadata";
inline constexpr int kMetadataFormatVersion = 1;

// A metadata file is a few kilobytes; a larger file beside a table or a
// capture is not one.
inline constexpr std::uintmax_t kMaxMetadataBytes = std::uintmax_t{4} << 20;

struct MetadataSettings {
    std::string outputFile;
    std::optional<std::int32_t> port, board, samplePeriod, lines, maxRange, motor, motorPower;
};

// One part of the backend: the range finder ("port" or "simulated") or the
// card ("device", "simulated" or "replay").
struct MetadataBackendPart {
    std::string kind;
    std::optional<std::string> path;    // port name, device path or replayed file
    std::optional<std::string> scene;   // simulated card: the scene file, null = built-in
    std::optional<std::uint64_t> seed;  // simulated card
    std::optional<std::string> sha256;  // replayed file
};

struct MetadataLookup {
    std::optional<std::string> name;
    std::optional<std::uint64_t> size;
    std::optional<std::string> sha256;
    std::optional<double> sampleRateOffset;
    bool olderVersionFallback = false;
};

struct MetadataFile {
    std::string name;
    std::string sha256;
};

// A capture's records and digest are known once it is finished; while the
// scan runs (and after a crash) they are null.
struct MetadataCapture {
    std::string name;
    std::optional<std::uint64_t> records;
    std::optional<std::string> sha256;
    std::uint64_t samplingStartsAtRecord = 0;
};

// How the run ended: "complete", "q", "signal" or "failure"; in a table
// velscan-reconvert made of a capture whose scan never ended, "cut short".
struct MetadataEnd {
    std::string how;
    std::optional<std::string> message;  // the failure's "Error: ..." line, no newline
    int exitCode = 0;
};

// A capture whose scan never ended (a crash): what velscan-reconvert could
// take from it.
struct MetadataCutShort {
    std::int32_t completeLines = 0;          // the lines converted
    std::uint64_t recordsLeftOver = 0;       // whole records after them, not converted
    std::uint64_t bytesLeftOver = 0;         // the part record at the capture's end
};

// The instrument profile the scan was taken with (VELSCAN_PROFILE): its
// file, the digest of its bytes and the offsets it gave, in radians.
struct MetadataProfile {
    std::string name;
    std::string sha256;
    std::optional<double> mirrorOffset, slowOffset;
};

// The scan's pose in the site (VELSCAN_POSE): the text as given and its 4x4
// matrix row by row, metres (scanfile/site_pose.hpp).
struct MetadataPose {
    std::string given;
    std::array<std::optional<double>, 16> matrix;
};

// What velscan-reconvert adds about the capture it converted again.
struct MetadataReconversion {
    std::string capture;
    std::string captureSha256;
    std::optional<std::string> captureMetadata;
    std::optional<std::string> recordedLookupSha256;
    std::string lookupSha256;
    bool sameLookup = false;
    std::optional<std::string> recordedTableSha256;
    std::optional<bool> identicalToRecorded;
    std::optional<MetadataCutShort> cutShort;  // null: the scan had ended
};

// The document's facts, as written and as read back.
struct ScanFacts {
    std::string programName = "velscan";
    std::string programVersion;
    std::string system;
    // UTC, ISO 8601 with milliseconds: "2026-12-09T07:30:00.123Z".
    std::optional<std::string> startTime, mirrorReadyTime, endTime;
    std::vector<std::string> commandLine;
    std::optional<MetadataSettings> settings;
    std::optional<MetadataBackendPart> laser, card;
    std::optional<std::string> faults;  // null: none
    std::optional<std::string> clock;   // "real" or "virtual"
    std::optional<MetadataProfile> profile;  // absent: none given
    std::optional<MetadataPose> pose;        // absent: none given
    std::optional<std::int32_t> calibrationValue, averagingCount;
    std::array<std::optional<std::uint32_t>, 2> encoderCounts;
    MetadataLookup lookup;
    std::optional<std::int32_t> linesAsked, linesRecorded;
    std::vector<std::int32_t> linesWithLostSamples;  // 0-based
    std::optional<std::uint64_t> rows, rowsWithoutRange;
    // One per line of the table, in order (a table's document only); files
    // written before the figures have none.
    std::optional<std::vector<LineFigures>> lineFigures;
    std::optional<MetadataFile> table;
    std::optional<MetadataCapture> capture;
    std::optional<MetadataEnd> end;
    std::optional<MetadataReconversion> reconverted;  // velscan-reconvert only
};

enum class MetadataDescribes { Table, Capture };

// The document, members in their documented order.
nlohmann::ordered_json MetadataDocument(const ScanFacts& facts, MetadataDescribes describes);

// The file's text: the document indented by two, with a final newline.
std::string MetadataText(const ScanFacts& facts, MetadataDescribes describes);

// A text member as it stands in the document, and back: nullopt when the
// value is neither a string nor a {"bytes": HEX} object.
nlohmann::ordered_json KeptText(std::string_view text);
std::optional<std::string> KeptTextOf(const nlohmann::ordered_json& value);

// A document read: its facts, or why it is not one this program reads, in
// words that follow the file's name ("is not a JSON document", "has no valid
// format version", "is of format version 2, later than this program's 1").
struct MetadataReading {
    std::optional<ScanFacts> facts;
    std::optional<MetadataDescribes> describes;
    std::string problem;  // empty when `facts` is there
    std::string text;     // the file's bytes, when ReadMetadataFile read them
};

// The one reader: a member that is missing, null or of another type than
// the writer writes is not known (null, or the type's default).
MetadataReading ReadMetadataText(std::string_view text);

// The file at `path` read whole and parsed; a file that does not exist gives
// neither facts nor a problem. Other files that are no regular file, larger
// than kMaxMetadataBytes or unreadable give a problem.
MetadataReading ReadMetadataFile(const std::string& path);

}  // namespace velscan
