// The HTML viewer: one self-contained page that shows the point cloud in 3D
// with the embedded three.js (export/viewer_assets.hpp). The page is its
// fixed head (style, panel and the viewer's script), then the scan's data,
// then the library's licence notice, the library and its orbit controls.
//
// The data: the panel's lines (the summary), the range picture's colour map,
// where the scanner stood and whether the scan surrounds it, and the points of the shared view (export/scan_points.hpp): positions as
// base64 of 16 bits per axis over the bounding box where that moves no point
// by more than 0.05 inch (float32 otherwise), and per point one byte of the
// colour map's entry for its distance and one grey level of its amplitude.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "export/base64.hpp"
#include "export/colour_map.hpp"
#include "export/export_format.hpp"
#include "export/position_quantizer.hpp"
#include "export/stream_failure.hpp"
#include "export/summary.hpp"
#include "export/viewer_assets.hpp"
#include "export/viewer_info.hpp"
#include "scanfile/scan_metadata.hpp"

namespace velscan::exporter {
namespace {

constexpr double kFarthestMoveInches = 0.05;

struct Extent {
    Box box{{0.0, 0.0, 0.0}, {0.0, 0.0, 0.0}};
    double nearest = 0.0, farthest = 0.0;
};

Extent ExtentOf(const ScanPoints& points) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    Extent extent{{{kInf, kInf, kInf}, {-kInf, -kInf, -kInf}}, kInf, -kInf};
    points.ForEach([&](const ScanPoint& p) {
        const double xyz[3] = {p.x, p.y, p.z};
        for (int axis = 0; axis < 3; ++axis) {
            extent.box.low[axis] = std::min(extent.box.low[axis], xyz[axis]);
            extent.box.high[axis] = std::max(extent.box.high[axis], xyz[axis]);
        }
        extent.nearest = std::min(extent.nearest, p.distance);
        extent.farthest = std::max(extent.farthest, p.distance);
    });
    return points.Count() == 0 ? Extent{} : extent;
}

std::uint8_t GreyLevel(float amplitude) {
    if (!(amplitude > 0.0f)) return 0;
    return static_cast<std::uint8_t>(std::lround(std::min(amplitude, 255.0f)));
}

std::string Number(double value, const char* format = "%.17g") {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Triple(const std::array<double, 3>& values) {
    std::string text = "[";
    for (std::size_t axis = 0; axis < values.size(); ++axis) {
        if (axis > 0) text += ", ";
        text += Number(values[axis]);
    }
    return text += "]";
}

// The positions' bytes, little-endian, and the colour bytes, per point.
struct PointBytes {
    std::vector<std::uint8_t> positions, distanceEntries, amplitudeLevels;
};

PointBytes BytesOf(const ScanPoints& points, const PositionQuantizer& quantizer, const Extent& extent) {
    PointBytes bytes;
    const std::size_t perPoint = quantizer.Quantized() ? 6 : 12;
    bytes.positions.resize(points.Count() * perPoint);
    bytes.distanceEntries.reserve(points.Count());
    bytes.amplitudeLevels.reserve(points.Count());
    std::uint8_t* out = bytes.positions.data();
    const double span = extent.farthest - extent.nearest;
    points.ForEach([&](const ScanPoint& p) {
        if (quantizer.Quantized()) {
            for (const std::uint16_t q : quantizer.Encode({p.x, p.y, p.z})) {
                *out++ = static_cast<std::uint8_t>(q & 0xff);
                *out++ = static_cast<std::uint8_t>(q >> 8);
            }
        } else {
            for (const double value : {p.x, p.y, p.z}) {
                const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
                for (int shift = 0; shift < 32; shift += 8) *out++ = static_cast<std::uint8_t>(bits >> shift);
            }
        }
        bytes.distanceEntries.push_back(
            static_cast<std::uint8_t>(DistanceColourIndex(p.distance, extent.nearest, span)));
        bytes.amplitudeLevels.push_back(GreyLevel(p.amplitude));
    });
    return bytes;
}

std::string ColourMapHex() {
    std::string hex;
    for (const Rgb& c : DistanceColours()) {
        char text[8];
        std::snprintf(text, sizeof text, "%02x%02x%02x", c.r, c.g, c.b);
        hex += text;
    }
    return hex;
}

// The panel's lines, in order: the table's name, then the summary. Lines of
// the scan's own record (its settings and time) go after these.
std::vector<InfoLine> PanelLines(const ExportJob& job) {
    std::vector<InfoLine> lines{{"table", job.Source()}};
    // From the metadata file beside the table: the date, settings and lines.
    if (!job.PictureDetails().empty()) lines.push_back({"scan", job.PictureDetails()});
    for (InfoLine& line : SummaryLines(job.Table(), job.Angles(), job.Settings().applied, job.Figures()))
        lines.push_back(std::move(line));
    // The summary counts the table's rows; the cloud lacks those no point holds.
    if (const std::size_t beyond = job.RowsBeyondPointRange(); beyond > 0)
        lines.push_back({"not shown", BeyondPointRangeReport(beyond)});
    return lines;
}

// The figures of the table's lines for the panel's chart, with the members
// of the metadata file (written by its one writer), or null without them.
std::string LineFiguresScript(const std::vector<LineFigures>& figures) {
    if (figures.empty()) return "null";
    ScanFacts facts;
    facts.lineFigures = figures;
    return ScriptSafe(MetadataDocument(facts, MetadataDescribes::Table)["lineFigures"].dump());
}

std::string DataScript(const ExportJob& job) {
    const ScanPoints& points = job.Points();
    const Extent extent = ExtentOf(points);
    const double bound = kFarthestMoveInches * (points.Unit() == LengthUnit::kMetres ? kMetresPerInch : 1.0);
    const PositionQuantizer quantizer(extent.box, bound);
    const PointBytes bytes = BytesOf(points, quantizer, extent);
    const std::string unit(points.UnitName());

    std::string script = "<script>\nvar scanInfo = " + InfoObject(PanelLines(job)) + ";\n";
    script += "var lineFigures = " + LineFiguresScript(job.Figures()) + ";\n";
    script += "var distanceColours = \"" + ColourMapHex() + "\";\n";
    script += "var cloud = {\"name\": " + ScriptString(job.Source()) + ", \"count\": " +
              std::to_string(points.Count()) + ", \"unit\": " + ScriptString(unit) + ",\n";
    script += "  \"low\": " + Triple(extent.box.low) + ", \"high\": " + Triple(extent.box.high) + ",\n";
    script += "  \"distanceScale\": {\"low\": \"" + Number(extent.nearest, "%.2f") + "\", \"high\": \"" +
              Number(extent.farthest, "%.2f") + "\", \"unit\": " + ScriptString(unit) + "},\n";
    // The points are in the scanner's own frame: it stood at the origin.
    script += std::string("  \"scanner\": [0, 0, 0], \"surrounds\": ") +
              (SurroundsTheScanner(job.Angles()) ? "true" : "false") + ",\n";
    script += std::string("  \"encoding\": \"") + (quantizer.Quantized() ? "uint16" : "float32") +
              "\", \"origin\": " + Triple(quantizer.Origin()) + ", \"step\": " + Triple(quantizer.Step()) + ",\n";
    script.reserve(script.size() + (bytes.positions.size() + 2 * points.Count()) * 4 / 3 + 256);
    script += "  \"positions\": \"";
    AppendBase64(script, bytes.positions);
    script += "\",\n  \"distanceEntries\": \"";
    AppendBase64(script, bytes.distanceEntries);
    script += "\",\n  \"amplitudeLevels\": \"";
    AppendBase64(script, bytes.amplitudeLevels);
    script += "\"};\n</script>\n";
    return script;
}

void WriteText(std::FILE* out, std::string_view text) { WriteAll(out, text.data(), text.size()); }

void WriteHtml(std::FILE* out, const ExportJob& job) {
    WriteText(out, ViewerPageHead());
    WriteText(out, DataScript(job));
    WriteText(out, "<script type=\"text/plain\" id=\"three-licence\">\n");
    WriteText(out, ThreeJsLicence());
    WriteText(out, "</script>\n<script>\n");
    WriteText(out, ThreeJsLibrary());
    WriteText(out, "\n</script>\n<script>\n");
    WriteText(out, ThreeJsOrbitControls());
    WriteText(out, "\n</script>\n</body>\n</html>\n");
}

}  // namespace

extern const ExportFormat kHtmlFormat;
const ExportFormat kHtmlFormat{
    "--html", ".html",
    "  --html PATH           viewer: one HTML file that shows the points in 3D in a web\n"
    "                        browser, offline, coloured by distance or amplitude\n",
    WriteHtml};

}  // namespace velscan::exporter
