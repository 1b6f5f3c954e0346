// The metadata document, built member by member in the documented order.

#include "acquisition/scan_metadata.hpp"

namespace velscan {

namespace {

using Json = nlohmann::ordered_json;

template <typename T>
Json OrNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json SettingsJson(const std::optional<MetadataSettings>& settings) {
    if (!settings) return nullptr;
    return Json{{"outputFile", settings->outputFile}, {"port", settings->port},
                {"board", settings->board},           {"samplePeriod", settings->samplePeriod},
                {"lines", settings->lines},           {"maxRange", settings->maxRange},
                {"motor", settings->motor},           {"motorPower", settings->motorPower}};
}

Json BackendPartJson(const std::optional<MetadataBackendPart>& part) {
    if (!part) return nullptr;
    Json json{{"kind", part->kind}};
    if (part->kind == "port") json["port"] = OrNull(part->path);
    if (part->kind == "device" || part->kind == "replay") json["path"] = OrNull(part->path);
    if (part->kind == "simulated" && (part->scene || part->seed)) {
        json["scene"] = OrNull(part->scene);
        json["seed"] = OrNull(part->seed);
    }
    if (part->kind == "replay") json["sha256"] = OrNull(part->sha256);
    return json;
}

Json CalibrationJson(const ScanFacts& facts) {
    Json counts = Json::array();
    for (const auto& count : facts.encoderCounts) counts.push_back(OrNull(count));
    return Json{{"value", OrNull(facts.calibrationValue)},
                {"averagingCount", OrNull(facts.averagingCount)},
                {"encoderCounts", counts}};
}

Json LookupJson(const MetadataLookup& lookup) {
    return Json{{"name", OrNull(lookup.name)},
                {"size", OrNull(lookup.size)},
                {"sha256", OrNull(lookup.sha256)},
                {"sampleRateOffset", OrNull(lookup.sampleRateOffset)},
                {"olderVersionFallback", lookup.olderVersionFallback}};
}

Json CaptureJson(const std::optional<MetadataCapture>& capture) {
    if (!capture) return nullptr;
    return Json{{"name", capture->name},
                {"records", capture->records},
                {"sha256", capture->sha256},
                {"samplingStartsAtRecord", capture->samplingStartsAtRecord}};
}

Json EndJson(const std::optional<MetadataEnd>& end) {
    if (!end) return nullptr;
    return Json{{"how", end->how}, {"message", OrNull(end->message)}, {"exitCode", end->exitCode}};
}

Json ReconversionJson(const MetadataReconversion& again) {
    return Json{{"from", Json{{"capture", again.capture},
                              {"sha256", again.captureSha256},
                              {"metadata", OrNull(again.captureMetadata)}}},
                {"recordedLookupSha256", OrNull(again.recordedLookupSha256)},
                {"lookupSha256", again.lookupSha256},
                {"sameLookup", again.sameLookup},
                {"recordedTableSha256", OrNull(again.recordedTableSha256)},
                {"identicalToRecorded", OrNull(again.identicalToRecorded)}};
}

}  // namespace

nlohmann::ordered_json MetadataDocument(const ScanFacts& facts, MetadataDescribes describes) {
    Json document;
    document["format"] = Json{{"name", kMetadataFormatName}, {"version", kMetadataFormatVersion}};
    document["describes"] = describes == MetadataDescribes::Table ? "table" : "capture";
    document["program"] = Json{{"name", facts.programName}, {"version", facts.programVersion}};
    document["system"] = facts.system;
    document["times"] = Json{{"start", OrNull(facts.startTime)},
                             {"mirrorReady", OrNull(facts.mirrorReadyTime)},
                             {"end", OrNull(facts.endTime)}};
    document["commandLine"] = facts.commandLine;
    document["settings"] = SettingsJson(facts.settings);
    document["backend"] = Json{{"laser", BackendPartJson(facts.laser)},
                               {"card", BackendPartJson(facts.card)}};
    document["faults"] = OrNull(facts.faults);
    document["clock"] = OrNull(facts.clock);
    document["calibration"] = CalibrationJson(facts);
    document["lookup"] = LookupJson(facts.lookup);
    document["lines"] = Json{{"asked", OrNull(facts.linesAsked)},
                             {"recorded", OrNull(facts.linesRecorded)},
                             {"withLostSamples", facts.linesWithLostSamples}};
    document["rows"] = Json{{"total", OrNull(facts.rows)},
                            {"withoutRange", OrNull(facts.rowsWithoutRange)}};
    document["table"] = facts.table ? Json{{"name", facts.table->name}, {"sha256", facts.table->sha256}}
                                    : Json(nullptr);
    document["capture"] = CaptureJson(facts.capture);
    document["end"] = EndJson(facts.end);
    if (facts.reconverted) document["reconverted"] = ReconversionJson(*facts.reconverted);
    return document;
}

std::string MetadataText(const ScanFacts& facts, MetadataDescribes describes) {
    return MetadataDocument(facts, describes).dump(2) + "\n";
}

}  // namespace velscan
