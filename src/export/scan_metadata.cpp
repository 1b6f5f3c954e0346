#include "export/scan_metadata.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include <nlohmann/json.hpp>

#include "conversion/printable_text.hpp"
#include "platform/digest/sha256.hpp"

namespace velscan::exporter {
namespace {

using Json = nlohmann::json;

MetadataReading SetAside(const std::string& name, const std::string& why) {
    return {std::nullopt, "Warning: " + PrintableText(name) + " " + why + "; the table is exported without it"};
}

// A member of an object by its path, or null when any step is missing or of
// another kind.
const Json* Member(const Json& document, std::initializer_list<const char*> path) {
    const Json* at = &document;
    for (const char* key : path) {
        if (!at->is_object()) return nullptr;
        const auto found = at->find(key);
        if (found == at->end()) return nullptr;
        at = &*found;
    }
    return at;
}

std::optional<long long> Integer(const Json& document, std::initializer_list<const char*> path) {
    const Json* value = Member(document, path);
    if (value == nullptr || !value->is_number_integer()) return std::nullopt;
    return value->get<long long>();
}

std::optional<std::string> Text(const Json& document, std::initializer_list<const char*> path) {
    const Json* value = Member(document, path);
    if (value == nullptr || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

}  // namespace

MetadataReading ParseMetadata(std::string_view text, const std::string& name) {
    const Json document = Json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) return SetAside(name, "is not a JSON document");
    if (Text(document, {"format", "name"}) != std::string(kMetadataFormatName))
        return SetAside(name, "is not a velscan metadata file");
    const std::optional<long long> version = Integer(document, {"format", "version"});
    if (!version || *version < 1) return SetAside(name, "has no valid format version");
    if (*version > kMetadataFormatVersion)
        return SetAside(name, "is of format version " + std::to_string(*version) + ", later than this program's " +
                                  std::to_string(kMetadataFormatVersion));
    ScanMetadata metadata;
    metadata.start = Text(document, {"times", "start"});
    metadata.samplePeriod = Integer(document, {"settings", "samplePeriod"});
    metadata.maxRange = Integer(document, {"settings", "maxRange"});
    metadata.motorPower = Integer(document, {"settings", "motorPower"});
    metadata.linesAsked = Integer(document, {"lines", "asked"});
    metadata.linesRecorded = Integer(document, {"lines", "recorded"});
    if (const Json* lost = Member(document, {"lines", "withLostSamples"}); lost != nullptr && lost->is_array())
        for (const Json& line : *lost)
            if (line.is_number_integer()) metadata.linesWithLostSamples.push_back(line.get<long long>());
    metadata.tableSha256 = Text(document, {"table", "sha256"});
    return {std::move(metadata), {}};
}

MetadataReading ReadMetadataBeside(const std::string& tablePath) {
    const std::string name = tablePath + ".json";
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(name, error);
    if (!std::filesystem::exists(status)) return {};
    if (!std::filesystem::is_regular_file(status)) return SetAside(name, "is not a regular file");
    const std::uintmax_t size = std::filesystem::file_size(name, error);
    if (error || size > kMaxMetadataBytes) return SetAside(name, "is too large for a metadata file");
    std::ifstream in(name, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return SetAside(name, "could not be read");
    return ParseMetadata(text, name);
}

std::string StaleTableWarning(const std::string& tablePath, const ScanMetadata& metadata) {
    if (!metadata.tableSha256) return {};
    const std::optional<std::string> actual = platform::Sha256HexOfFile(tablePath);
    if (actual == metadata.tableSha256) return {};
    return "Warning: the SHA-256 of " + PrintableText(tablePath) + " is not the one its metadata file " +
           PrintableText(tablePath + ".json") + " records; the table was changed since the scan";
}

std::string MetadataTitle(const ScanMetadata& metadata) {
    std::string title;
    const auto add = [&title](const std::string& part) {
        if (!title.empty()) title.append(", ");
        title.append(part);
    };
    // "2026-12-09T07:30:00.123Z" to "2026-12-09 07:30 UTC".
    if (metadata.start && metadata.start->size() >= 16)
        add(PrintableText(metadata.start->substr(0, 10)) + " " + PrintableText(metadata.start->substr(11, 5)) + " UTC");
    std::string settings;
    const auto setting = [&settings](const char* option, const std::optional<long long>& value) {
        if (!value) return;
        if (!settings.empty()) settings.append(" ");
        settings.append(option).append(" ").append(std::to_string(*value));
    };
    setting("-s", metadata.samplePeriod);
    setting("-r", metadata.maxRange);
    setting("-p", metadata.motorPower);
    if (!settings.empty()) add(settings);
    if (metadata.linesRecorded)
        add(std::to_string(*metadata.linesRecorded) +
            (metadata.linesAsked ? " of " + std::to_string(*metadata.linesAsked) : std::string()) + " lines");
    if (!metadata.linesWithLostSamples.empty()) {
        std::string lost = metadata.linesWithLostSamples.size() == 1 ? "lost samples in line" : "lost samples in lines";
        for (std::size_t i = 0; i < metadata.linesWithLostSamples.size(); ++i)
            lost.append(i == 0 ? " " : ", ").append(std::to_string(metadata.linesWithLostSamples[i]));
        add(lost);
    }
    return title;
}

}  // namespace velscan::exporter
