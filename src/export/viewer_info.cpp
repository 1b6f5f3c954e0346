#include "export/viewer_info.hpp"

#include <algorithm>
#include <cstdio>

namespace velscan::exporter {

std::vector<InfoLine> InfoLinesOf(std::string_view text) {
    std::vector<InfoLine> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.empty()) continue;
        const std::size_t colon = line.find(": ");
        if (colon == std::string_view::npos)
            lines.push_back({std::string(line), {}});
        else
            lines.push_back({std::string(line.substr(0, colon)), std::string(line.substr(colon + 2))});
    }
    return lines;
}

std::string ScriptString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || c == '<' || c == '>' || c == '&' || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(byte));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
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
