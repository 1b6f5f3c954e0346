#pragma once
// The metadata file beside a table or a capture (NAME.json): how the scan
// was taken, what it holds and how its run ended. Both velscan and
// velscan-reconvert gather these facts and write the same layout; a fact
// that is not known is written as null, never guessed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace velscan {

// The layout's name and version; a reader refuses a higher version.
inline constexpr const char* kMetadataFormatName = "velscan-scan-metadata";
inline constexpr int kMetadataFormatVersion = 1;

// The metadata file of a table or capture: its name with ".json" appended.
inline std::string MetadataFileName(const std::string& described) { return described + ".json"; }

struct MetadataSettings {
    std::string outputFile;
    std::int32_t port = 0, board = 0, samplePeriod = 0, lines = 0, maxRange = 0, motor = 0,
                 motorPower = 0;
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

struct MetadataCapture {
    std::string name;
    std::uint64_t records = 0;
    std::string sha256;
    std::uint64_t samplingStartsAtRecord = 0;
};

// How the run ended: "complete", "q", "signal" or "failure".
struct MetadataEnd {
    std::string how;
    std::optional<std::string> message;  // the failure's "Error: ..." line, no newline
    int exitCode = 0;
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
};

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
    std::optional<std::int32_t> calibrationValue, averagingCount;
    std::optional<std::uint32_t> encoderCounts[2];
    MetadataLookup lookup;
    std::optional<std::int32_t> linesAsked, linesRecorded;
    std::vector<std::int32_t> linesWithLostSamples;  // 0-based
    std::optional<std::uint64_t> rows, rowsWithoutRange;
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

}  // namespace velscan
