#pragma once
// The text of the viewer's page as JSON inside its <script> element: the
// panel's lines as the object `scanInfo`, and the cloud's names. The JSON
// library writes every string; after it, '<', '>' and '&' are escaped as
// \u003c, \u003e and \u0026, so that no text can end the element or open a
// comment in it. Bytes that are not UTF-8 (a Latin-1 file name) stand as
// U+FFFD, the page's character set being UTF-8.

#include <string>
#include <string_view>
#include <vector>

#include "export/scan_angles.hpp"
#include "export/summary.hpp"

namespace velscan::exporter {

// A line of the panel: the table's name, the scan's record, the summary.
using InfoLine = SummaryLine;

// The JSON object of the lines, one member a line in their order; a key
// given twice keeps its first value.
std::string InfoObject(const std::vector<InfoLine>& lines);

// A JSON string of `text`, quotes included, safe inside a <script> element.
std::string ScriptString(std::string_view text);

// Whether the scan surrounds the scanner: its slow axis turned through half
// a turn or more (less a degree), so that with the mirror's full circles it
// saw the whole room. The viewer then opens inside the room.
bool SurroundsTheScanner(const ScanAngles& angles);

// JSON text made safe inside a <script> element: '<', '>' and '&' escaped,
// outside strings as well as inside (where JSON allows no such byte
// outside a string, the escape changes no value).
std::string ScriptSafe(std::string_view json);

}  // namespace velscan::exporter
