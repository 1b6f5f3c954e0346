#include "scanfile/instrument_profile.hpp"

#include <span>

#include <nlohmann/json.hpp>

#include "conversion/whole_file.hpp"
#include "platform/digest/sha256.hpp"

namespace velscan {

namespace {

ProfileReading Problem(std::string why) {
    ProfileReading reading;
    reading.problem = std::move(why);
    return reading;
}

// A required offset, in radians. Every JSON number the reader takes is
// finite: one beyond a double's range (1e999) makes the document no JSON.
bool TakeOffset(const nlohmann::json& document, const char* name, double& value, std::string& problem) {
    const auto found = document.find(name);
    if (found == document.end() || !found->is_number()) {
        problem = std::string("has no number \"") + name + "\"";
        return false;
    }
    value = found->get<double>();
    return true;
}

}  // namespace

ProfileReading ReadProfileText(std::string_view text) {
    const nlohmann::json document = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) return Problem("is not a JSON document");
    const auto format = document.find("format");
    const bool named = format != document.end() && format->is_object() && format->contains("name") &&
                       (*format)["name"] == kProfileFormatName;
    if (!named) return Problem(std::string("is not a velscan instrument profile (no format \"") +
                               kProfileFormatName + "\")");
    const auto version = format->find("version");
    if (version == format->end() || !version->is_number_integer() || version->get<std::int64_t>() < 1)
        return Problem("has no valid format version");
    if (version->get<std::int64_t>() != kProfileFormatVersion)
        return Problem("is of format version " + std::to_string(version->get<std::int64_t>()) +
                       ", which this program does not read (it reads " + std::to_string(kProfileFormatVersion) +
                       ")");
    InstrumentProfile profile;
    std::string problem;
    if (!TakeOffset(document, "mirrorOffset", profile.mirrorOffset, problem) ||
        !TakeOffset(document, "slowOffset", profile.slowOffset, problem))
        return Problem(problem);
    ProfileReading reading;
    reading.profile = std::move(profile);
    return reading;
}

ProfileReading ReadProfileFile(const std::string& path) {
    std::string text, reason;
    if (!ReadWholeFile(path, text, kMaxProfileBytes, &reason)) return Problem("cannot be read: " + reason);
    ProfileReading reading = ReadProfileText(text);
    if (reading.profile) {
        reading.profile->name = path;
        reading.profile->sha256 = platform::Sha256Hex(std::as_bytes(std::span(text.data(), text.size())));
    }
    return reading;
}

}  // namespace velscan
