// The metadata document. Its members are named once, in VisitDocument, which
// the writer and the reader both walk: the writer builds the document in
// that order, the reader takes each member from where the writer put it.

#include "scanfile/scan_metadata.hpp"

#include <filesystem>
#include <system_error>
#include <type_traits>
#include <utility>

#include "conversion/whole_file.hpp"
#include "platform/digest/hex_digits.hpp"
#include "platform/files/path_name.hpp"

namespace velscan {

namespace {

using Json = nlohmann::ordered_json;

// The members before the facts: what the document is.
struct DocumentHead {
    std::string formatName;
    std::optional<std::int64_t> formatVersion;
    std::string describes;
};

template <class V, class Part>
void VisitBackendPart(V& v, Part& part) {
    v.Member("kind", part.kind);
    if (part.kind == "port") v.Member("port", part.path);
    if (part.kind == "device" || part.kind == "replay") v.Member("path", part.path);
    // A simulated card names its scene and seed; a simulated range finder
    // has neither.
    if (part.kind == "simulated" && v.AnyKnown(part.scene, part.seed)) {
        v.Member("scene", part.scene);
        v.Member("seed", part.seed);
    }
    if (part.kind == "replay") v.Member("sha256", part.sha256);
}

// Every member of the document, in its documented order. `Facts` and `Head`
// are const for the writer.
template <class V, class Head, class Facts>
void VisitDocument(V& v, Head& head, Facts& f) {
    v.Group("format", [&] {
        v.Member("name", head.formatName);
        v.Member("version", head.formatVersion);
    });
    v.Member("describes", head.describes);
    v.Group("program", [&] {
        v.Member("name", f.programName);
        v.Member("version", f.programVersion);
    });
    v.Member("system", f.system);
    v.Group("times", [&] {
        v.Member("start", f.startTime);
        v.Member("mirrorReady", f.mirrorReadyTime);
        v.Member("end", f.endTime);
    });
    v.Member("commandLine", f.commandLine);
    v.Nullable("settings", f.settings, [&](auto& s) {
        v.Member("outputFile", s.outputFile);
        v.Member("port", s.port);
        v.Member("board", s.board);
        v.Member("samplePeriod", s.samplePeriod);
        v.Member("lines", s.lines);
        v.Member("maxRange", s.maxRange);
        v.Member("motor", s.motor);
        v.Member("motorPower", s.motorPower);
    });
    v.Group("backend", [&] {
        v.Nullable("laser", f.laser, [&](auto& part) { VisitBackendPart(v, part); });
        v.Nullable("card", f.card, [&](auto& part) { VisitBackendPart(v, part); });
    });
    v.Member("faults", f.faults);
    v.Member("clock", f.clock);
    // Written only when given, so that a scan without them keeps its document.
    v.Omissible("profile", f.profile, [&](auto& profile) {
        v.Member("name", profile.name);
        v.Member("sha256", profile.sha256);
        v.Member("mirrorOffset", profile.mirrorOffset);
        v.Member("slowOffset", profile.slowOffset);
    });
    v.Omissible("pose", f.pose, [&](auto& pose) {
        v.Member("given", pose.given);
        v.Member("matrix", pose.matrix);
    });
    v.Group("calibration", [&] {
        v.Member("value", f.calibrationValue);
        v.Member("averagingCount", f.averagingCount);
        v.Member("encoderCounts", f.encoderCounts);
    });
    v.Group("lookup", [&] {
        v.Member("name", f.lookup.name);
        v.Member("size", f.lookup.size);
        v.Member("sha256", f.lookup.sha256);
        v.Member("sampleRateOffset", f.lookup.sampleRateOffset);
        v.Member("olderVersionFallback", f.lookup.olderVersionFallback);
    });
    v.Group("lines", [&] {
        v.Member("asked", f.linesAsked);
        v.Member("recorded", f.linesRecorded);
        v.Member("withLostSamples", f.linesWithLostSamples);
    });
    v.Group("rows", [&] {
        v.Member("total", f.rows);
        v.Member("withoutRange", f.rowsWithoutRange);
    });
    // The figures of the table's lines (scanfile/line_figures.hpp); a
    // capture's document has none.
    if (head.describes == "table") {
        v.Objects("lineFigures", f.lineFigures, [&](auto& line) {
            v.Member("withRange", line.withRange);
            v.Member("distanceP5", line.distanceP5);
            v.Member("distanceMedian", line.distanceMedian);
            v.Member("distanceP95", line.distanceP95);
            v.Member("meanAmplitude", line.meanAmplitude);
            v.Member("meanTemperature", line.meanTemperature);
            v.Member("mirrorTurnsPerSecond", line.mirrorTurnsPerSecond);
            v.Member("lostSamples", line.lostSamples);
        });
    }
    v.Nullable("table", f.table, [&](auto& table) {
        v.Member("name", table.name);
        v.Member("sha256", table.sha256);
    });
    v.Nullable("capture", f.capture, [&](auto& capture) {
        v.Member("name", capture.name);
        v.Member("records", capture.records);
        v.Member("sha256", capture.sha256);
        v.Member("samplingStartsAtRecord", capture.samplingStartsAtRecord);
    });
    v.Nullable("end", f.end, [&](auto& end) {
        v.Member("how", end.how);
        v.Member("message", end.message);
        v.Member("exitCode", end.exitCode);
    });
    // Only velscan-reconvert's documents have it.
    v.Omissible("reconverted", f.reconverted, [&](auto& again) {
        v.Group("from", [&] {
            v.Member("capture", again.capture);
            v.Member("sha256", again.captureSha256);
            v.Member("metadata", again.captureMetadata);
        });
        v.Member("recordedLookupSha256", again.recordedLookupSha256);
        v.Member("lookupSha256", again.lookupSha256);
        v.Member("sameLookup", again.sameLookup);
        v.Member("recordedTableSha256", again.recordedTableSha256);
        v.Member("identicalToRecorded", again.identicalToRecorded);
        v.Nullable("cutShort", again.cutShort, [&](auto& cut) {
            v.Member("completeLines", cut.completeLines);
            v.Member("recordsLeftOver", cut.recordsLeftOver);
            v.Member("bytesLeftOver", cut.bytesLeftOver);
        });
    });
}

// ---- the writer ------------------------------------------------------------

template <class T>
    requires std::is_arithmetic_v<T>
Json ValueOf(T value) {
    return Json(value);
}
Json ValueOf(const std::string& text) { return KeptText(text); }
template <class T>
Json ValueOf(const std::optional<T>& value) {
    return value ? ValueOf(*value) : Json(nullptr);
}
template <class T>
Json ValueOf(const std::vector<T>& values) {
    Json array = Json::array();
    for (const T& value : values) array.push_back(ValueOf(value));
    return array;
}
template <class T, std::size_t N>
Json ValueOf(const std::array<T, N>& values) {
    Json array = Json::array();
    for (const T& value : values) array.push_back(ValueOf(value));
    return array;
}

class Writer {
public:
    explicit Writer(Json& document) : at_(&document) {}

    template <class T>
    void Member(const char* name, const T& value) {
        (*at_)[name] = ValueOf(value);
    }
    template <class Visit>
    void Group(const char* name, Visit visit) {
        Json* const outer = std::exchange(at_, &((*at_)[name] = Json::object()));
        visit();
        at_ = outer;
    }
    template <class T, class Visit>
    void Nullable(const char* name, const std::optional<T>& value, Visit visit) {
        if (!value) {
            (*at_)[name] = nullptr;
            return;
        }
        Group(name, [&] { visit(*value); });
    }
    template <class T, class Visit>
    void Omissible(const char* name, const std::optional<T>& value, Visit visit) {
        if (value) Group(name, [&] { visit(*value); });
    }
    // An array of objects, one for each element; left out when not known.
    template <class T, class Visit>
    void Objects(const char* name, const std::optional<std::vector<T>>& values, Visit visit) {
        if (!values) return;
        Json& array = (*at_)[name] = Json::array();
        Json* const outer = at_;
        for (const T& value : *values) {
            at_ = &array.emplace_back(Json::object());
            visit(value);
        }
        at_ = outer;
    }
    template <class... T>
    bool AnyKnown(const std::optional<T>&... values) const {
        return (values.has_value() || ...);
    }

private:
    Json* at_;
};

// ---- the reader ------------------------------------------------------------

bool Take(const Json& json, std::string& text) {
    std::optional<std::string> kept = KeptTextOf(json);
    if (!kept) return false;
    text = std::move(*kept);
    return true;
}
template <class T>
    requires std::is_integral_v<T> && (!std::is_same_v<T, bool>)
bool Take(const Json& json, T& number) {
    if (json.is_number_unsigned()) {
        const auto value = json.get<std::uint64_t>();
        if (!std::in_range<T>(value)) return false;
        number = static_cast<T>(value);
        return true;
    }
    if (!json.is_number_integer()) return false;
    const auto value = json.get<std::int64_t>();
    if (!std::in_range<T>(value)) return false;
    number = static_cast<T>(value);
    return true;
}
bool Take(const Json& json, bool& flag) {
    if (!json.is_boolean()) return false;
    flag = json.get<bool>();
    return true;
}
bool Take(const Json& json, double& number) {
    if (!json.is_number()) return false;
    number = json.get<double>();
    return true;
}
template <class T>
bool Take(const Json& json, std::optional<T>& value) {
    T taken{};
    if (json.is_null() || !Take(json, taken)) {
        value.reset();
        return json.is_null();
    }
    value = std::move(taken);
    return true;
}
// The elements of the writer's type; others are left out.
template <class T>
bool Take(const Json& json, std::vector<T>& values) {
    if (!json.is_array()) return false;
    values.clear();
    for (const Json& element : json) {
        T taken{};
        if (Take(element, taken)) values.push_back(std::move(taken));
    }
    return true;
}
template <class T, std::size_t N>
bool Take(const Json& json, std::array<T, N>& values) {
    if (!json.is_array()) return false;
    for (std::size_t i = 0; i < N && i < json.size(); ++i) (void)Take(json[i], values[i]);
    return true;
}

class Reader {
public:
    explicit Reader(const Json& document) : at_(&document) {}

    template <class T>
    void Member(const char* name, T& value) {
        if (const Json* found = Find(name)) {
            (void)Take(*found, value);
        } else if constexpr (requires { value.reset(); }) {
            value.reset();
        }
    }
    template <class Visit>
    void Group(const char* name, Visit visit) {
        static const Json kNothing = Json::object();
        const Json* found = Find(name);
        const Json* const outer = std::exchange(at_, found != nullptr && found->is_object() ? found : &kNothing);
        visit();
        at_ = outer;
    }
    template <class T, class Visit>
    void Nullable(const char* name, std::optional<T>& value, Visit visit) {
        const Json* found = Find(name);
        if (found == nullptr || !found->is_object()) {
            value.reset();
            return;
        }
        value.emplace();
        Group(name, [&] { visit(*value); });
    }
    template <class T, class Visit>
    void Omissible(const char* name, std::optional<T>& value, Visit visit) {
        Nullable(name, value, visit);
    }
    // The elements that are objects; a missing member or one of another
    // type is not known.
    template <class T, class Visit>
    void Objects(const char* name, std::optional<std::vector<T>>& values, Visit visit) {
        values.reset();
        const Json* found = Find(name);
        if (found == nullptr || !found->is_array()) return;
        values.emplace();
        const Json* const outer = at_;
        for (const Json& element : *found) {
            if (!element.is_object()) continue;
            at_ = &element;
            visit(values->emplace_back());
        }
        at_ = outer;
    }
    // Members the writer may leave out are read whenever they are there.
    template <class... T>
    bool AnyKnown(const std::optional<T>&...) const {
        return true;
    }

private:
    const Json* Find(const char* name) const {
        const auto found = at_->find(name);
        return found == at_->end() ? nullptr : &*found;
    }
    const Json* at_;
};

MetadataReading Problem(std::string why) {
    MetadataReading reading;
    reading.problem = std::move(why);
    return reading;
}

}  // namespace

nlohmann::ordered_json KeptText(std::string_view text) {
    Json kept = std::string(text);
    try {
        // The JSON library refuses to write what is not valid UTF-8; what it
        // writes, it reads back as the same bytes.
        (void)kept.dump();
        return kept;
    } catch (const Json::type_error&) {
        const auto bytes = std::as_bytes(std::span(text.data(), text.size()));
        return Json{{"bytes", platform::LowerHex(std::span(reinterpret_cast<const unsigned char*>(bytes.data()),
                                                           bytes.size()))}};
    }
}

std::optional<std::string> KeptTextOf(const nlohmann::ordered_json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (!value.is_object() || value.size() != 1 || !value.contains("bytes") || !value["bytes"].is_string())
        return std::nullopt;
    const std::string& hex = value["bytes"].get_ref<const std::string&>();
    if (hex.size() % 2 != 0) return std::nullopt;
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string text;
    text.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = digit(hex[i]), low = digit(hex[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        text.push_back(static_cast<char>(high * 16 + low));
    }
    return text;
}

nlohmann::ordered_json MetadataDocument(const ScanFacts& facts, MetadataDescribes describes) {
    const DocumentHead head{.formatName = kMetadataFormatName,
                           .formatVersion = kMetadataFormatVersion,
                           .describes = describes == MetadataDescribes::Table ? "table" : "capture"};
    Json document = Json::object();
    Writer writer(document);
    VisitDocument(writer, head, facts);
    return document;
}

std::string MetadataText(const ScanFacts& facts, MetadataDescribes describes) {
    return MetadataDocument(facts, describes).dump(2) + "\n";
}

MetadataReading ReadMetadataText(std::string_view text) {
    const Json document = Json::parse(text.begin(), text.end(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) return Problem("is not a JSON document");
    DocumentHead head;
    ScanFacts facts;
    Reader reader(document);
    VisitDocument(reader, head, facts);
    // One version rule for every reader.
    if (head.formatName != kMetadataFormatName) return Problem("is not a velscan metadata file");
    if (!head.formatVersion || *head.formatVersion < 1) return Problem("has no valid format version");
    if (*head.formatVersion > kMetadataFormatVersion)
        return Problem("is of format version " + std::to_string(*head.formatVersion) + ", later than this program's " +
                       std::to_string(kMetadataFormatVersion));
    MetadataReading reading;
    reading.facts = std::move(facts);
    if (head.describes == "table") reading.describes = MetadataDescribes::Table;
    if (head.describes == "capture") reading.describes = MetadataDescribes::Capture;
    return reading;
}

MetadataReading ReadMetadataFile(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(files::PathOf(path), error);
    if (!std::filesystem::exists(status)) return {};
    if (!std::filesystem::is_regular_file(status)) return Problem("is not a regular file");
    const std::uintmax_t size = std::filesystem::file_size(files::PathOf(path), error);
    if (error || size > kMaxMetadataBytes) return Problem("is too large for a metadata file");
    std::string text;
    if (!ReadWholeFile(path, text, kMaxMetadataBytes)) return Problem("could not be read");
    MetadataReading reading = ReadMetadataText(text);
    reading.text = std::move(text);
    return reading;
}

}  // namespace velscan
