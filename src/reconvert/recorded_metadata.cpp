#include "reconvert/recorded_metadata.hpp"

#include <utility>

#include <nlohmann/json.hpp>

#include "conversion/printable_text.hpp"

namespace velscan::reconvert {

namespace {

using Json = nlohmann::json;

// The member at `pointer` when it is there and of type T; null, absent and
// of another type all count as not known.
template <typename T>
std::optional<T> Member(const Json& document, const char* pointer) {
    const Json::json_pointer at(pointer);
    if (!document.contains(at)) return std::nullopt;
    const Json& value = document.at(at);
    if constexpr (std::is_same_v<T, std::string>) {
        if (!value.is_string()) return std::nullopt;
    } else if constexpr (std::is_integral_v<T>) {
        if (value.is_number_unsigned()) {
            const auto number = value.get<std::uint64_t>();
            return std::in_range<T>(number) ? std::optional<T>(static_cast<T>(number)) : std::nullopt;
        }
        if (!value.is_number_integer()) return std::nullopt;
        const auto number = value.get<std::int64_t>();
        return std::in_range<T>(number) ? std::optional<T>(static_cast<T>(number)) : std::nullopt;
    }
    return value.get<T>();
}

void CarrySettings(const Json& document, ScanFacts& facts) {
    const auto number = [&document](const char* name) {
        return Member<std::int32_t>(document, (std::string("/settings/") + name).c_str());
    };
    const auto outputFile = Member<std::string>(document, "/settings/outputFile");
    if (!outputFile || !number("samplePeriod") || !number("maxRange")) return;
    facts.settings = MetadataSettings{.outputFile = *outputFile,
                                      .port = number("port").value_or(0),
                                      .board = number("board").value_or(0),
                                      .samplePeriod = *number("samplePeriod"),
                                      .lines = number("lines").value_or(0),
                                      .maxRange = *number("maxRange"),
                                      .motor = number("motor").value_or(0),
                                      .motorPower = number("motorPower").value_or(0)};
}

void CarryRecording(const Json& document, ScanFacts& facts) {
    facts.startTime = Member<std::string>(document, "/times/start");
    facts.mirrorReadyTime = Member<std::string>(document, "/times/mirrorReady");
    facts.endTime = Member<std::string>(document, "/times/end");
    CarrySettings(document, facts);
    if (const auto kind = Member<std::string>(document, "/backend/laser/kind"))
        facts.laser = MetadataBackendPart{.kind = *kind, .path = Member<std::string>(document, "/backend/laser/port"),
                                          .scene = std::nullopt, .seed = std::nullopt, .sha256 = std::nullopt};
    facts.faults = Member<std::string>(document, "/faults");
    facts.clock = Member<std::string>(document, "/clock");
    facts.linesAsked = Member<std::int32_t>(document, "/lines/asked");
    const Json::json_pointer lost("/lines/withLostSamples");
    if (document.contains(lost) && document.at(lost).is_array()) {
        for (const Json& line : document.at(lost))
            if (line.is_number_integer()) facts.linesWithLostSamples.push_back(line.get<std::int32_t>());
    }
}

}  // namespace

std::variant<RecordedScan, std::string> ParseRecordedScan(const std::string& text, const std::string& name) {
    const Json document = Json::parse(text, nullptr, false);
    const std::string shown = PrintableText(name);
    if (document.is_discarded() || !document.is_object()) return shown + " is not a JSON document";
    if (Member<std::string>(document, "/format/name") != std::string(kMetadataFormatName))
        return shown + " is not a velscan metadata file";
    const auto version = Member<std::int32_t>(document, "/format/version");
    if (!version || *version > kMetadataFormatVersion)
        return shown + " is of a later format version than this program reads";
    try {
        RecordedScan scan;
        scan.samplePeriod = Member<std::int32_t>(document, "/settings/samplePeriod");
        scan.maxRange = Member<std::int32_t>(document, "/settings/maxRange");
        scan.calibrationValue = Member<std::int32_t>(document, "/calibration/value");
        scan.linesRecorded = Member<std::int32_t>(document, "/lines/recorded");
        scan.samplingStartsAtRecord = Member<std::uint64_t>(document, "/capture/samplingStartsAtRecord");
        scan.lookupSha256 = Member<std::string>(document, "/lookup/sha256");
        scan.tableSha256 = Member<std::string>(document, "/table/sha256");
        CarryRecording(document, scan.carried);
        return scan;
    } catch (const Json::exception&) {
        return shown + " is not a velscan metadata file";
    }
}

}  // namespace velscan::reconvert
