#include "export/viewer_info.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <nlohmann/json.hpp>

namespace velscan::exporter {

std::string ScriptSafe(std::string_view json) {
    std::string out;
    out.reserve(json.size());
    for (const char c : json) {
        switch (c) {
            case '<': out += "\\u003c"; break;
            case '>': out += "\\u003e"; break;
            case '&': out += "\\u0026"; break;
            default: out += c;
        }
    }
    return out;
}

std::string ScriptString(std::string_view text) {
    const nlohmann::json string = std::string(text);
    return ScriptSafe(string.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

bool SurroundsTheScanner(const ScanAngles& angles) {
    double low = INFINITY, high = -INFINITY;
    for (const double v : angles.slowAxis)
        if (std::isfinite(v)) low = std::min(low, v), high = std::max(high, v);
    return low <= high && high - low >= std::numbers::pi * (179.0 / 180.0);
}

std::string InfoObject(const std::vector<InfoLine>& lines) {
    std::string out = "{";
    std::vector<std::string_view> seen;
    for (const InfoLine& line : lines) {
        if (std::find(seen.begin(), seen.end(), line.key) != seen.end()) continue;
        seen.push_back(line.key);
        if (out.size() > 1) out += ",\n  ";
        out += ScriptString(line.key) + ": " + ScriptString(line.value);
    }
    return out + "}";
}

}  // namespace velscan::exporter
