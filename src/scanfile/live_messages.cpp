#include "scanfile/live_messages.hpp"

#include <nlohmann/json.hpp>

namespace velscan {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kStartKind = "velscan-live-start";
constexpr const char* kSamplingKind = "velscan-live-sampling";
constexpr const char* kEndKind = "velscan-live-end";

std::optional<Json> Parsed(std::string_view line, const char* kind) {
    Json json = Json::parse(line, nullptr, false);
    if (json.is_discarded() || !json.is_object()) return std::nullopt;
    const auto found = json.find("message");
    if (found == json.end() || !found->is_string() || found->get<std::string>() != kind) return std::nullopt;
    return json;
}

Json OptionalText(const std::optional<std::string>& text) { return text ? KeptText(*text) : Json(); }

}  // namespace

std::string LiveStartLine(const LiveStart& start) {
    Json json;
    json["message"] = kStartKind;
    json["table"] = KeptText(start.table);
    json["capture"] = OptionalText(start.capture);
    json["linesAsked"] = start.linesAsked;
    json["samplingStartsAtRecord"] = start.samplingStartsAtRecord;
    json["live"] = start.live;
    json["pictures"] = start.pictures;
    json["metadata"] = MetadataDocument(start.facts, MetadataDescribes::Capture);
    return json.dump() + "\n";
}

std::string LiveSamplingLine() {
    Json json;
    json["message"] = kSamplingKind;
    return json.dump() + "\n";
}

bool IsLiveSampling(std::string_view line) { return Parsed(line, kSamplingKind).has_value(); }

std::string LiveEndLine(const LiveEnd& end) {
    Json json;
    json["message"] = kEndKind;
    json["how"] = end.how;
    json["failure"] = OptionalText(end.message);
    json["linesSaved"] = end.linesSaved ? Json(*end.linesSaved) : Json();
    return json.dump() + "\n";
}

std::optional<LiveStart> ReadLiveStart(std::string_view line) {
    const std::optional<Json> json = Parsed(line, kStartKind);
    if (!json) return std::nullopt;
    try {
        LiveStart start;
        const std::optional<std::string> table = KeptTextOf(json->at("table"));
        if (!table) return std::nullopt;
        start.table = *table;
        if (!json->at("capture").is_null()) {
            start.capture = KeptTextOf(json->at("capture"));
            if (!start.capture) return std::nullopt;
        }
        start.linesAsked = json->at("linesAsked").get<std::int32_t>();
        start.samplingStartsAtRecord = json->at("samplingStartsAtRecord").get<std::uint64_t>();
        start.live = json->at("live").get<bool>();
        start.pictures = json->at("pictures").get<bool>();
        MetadataReading facts = ReadMetadataText(json->at("metadata").dump());
        if (!facts.facts) return std::nullopt;
        start.facts = std::move(*facts.facts);
        return start;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

std::optional<LiveEnd> ReadLiveEnd(std::string_view line) {
    const std::optional<Json> json = Parsed(line, kEndKind);
    if (!json) return std::nullopt;
    try {
        LiveEnd end;
        end.how = json->at("how").get<std::string>();
        if (!json->at("failure").is_null()) end.message = KeptTextOf(json->at("failure"));
        if (!json->at("linesSaved").is_null()) end.linesSaved = json->at("linesSaved").get<std::int32_t>();
        return end;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

}  // namespace velscan
