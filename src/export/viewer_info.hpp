#pragma once
// The lines of the viewer's panel, as the JSON object `scanInfo` in the page:
// one member per line, in order. The summary's lines go first; more lines
// (a scan's settings and time, say) are added as further key/value pairs.

#include <string>
#include <string_view>
#include <vector>

namespace velscan::exporter {

struct InfoLine {
    std::string key;
    std::string value;
};

// "key: value" lines of a text such as the summary; a line without ": " is
// a key with an empty value.
std::vector<InfoLine> InfoLinesOf(std::string_view text);

// The JSON object of the lines; a key given twice keeps its first value. Safe
// inside a <script> element: '<', '>' and '&' are escaped, so that no text can
// end the element.
std::string InfoObject(const std::vector<InfoLine>& lines);

// A JSON string of `text`, quotes included, safe inside a <script> element.
std::string ScriptString(std::string_view text);

}  // namespace velscan::exporter
