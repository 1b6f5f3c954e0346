#include "export/picture_frame.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "conversion/printable_text.hpp"
#include "conversion/samples.hpp"
#include "export/bitmap_font.hpp"

namespace velscan::exporter {
namespace {

constexpr int kMargin = 10;
constexpr int kTextHeight = kGlyphHeight * kFrameFontScale;
constexpr int kCharWidth = kGlyphAdvance * kFrameFontScale;
constexpr int kTickLength = 6;
constexpr int kTitleBand = kTextHeight + 12;
// A wrapped title's lines, in the small font, and the room above and below.
constexpr int kTitleLineHeight = kGlyphHeight + 3;
constexpr int kTitlePadding = 5;
// "360" and its tick.
constexpr int kLeftAxis = kMargin + 3 * kCharWidth + 4 + kTickLength;
constexpr int kRightMargin = 16;
constexpr int kBottomAxis = kTickLength + 2 + kTextHeight + 4 + kTextHeight + 6;
constexpr int kMinPictureWidth = 480;
constexpr int kMaxTicks = 20;
constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;

std::string Degrees(double value) {
    char text[32];
    std::snprintf(text, sizeof text, std::fabs(value) < 1e6 ? "%.1f" : "%.2e", value);
    return text;
}

// The labels' size, or half of it for a text too long for the picture.
int FittingScale(const std::string& text, int width) {
    return static_cast<int>(text.size()) * kCharWidth <= width - 2 * kMargin ? kFrameFontScale : 1;
}

void PaintPixel(Image& image, int x, int y, const std::uint8_t* colour) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
    std::uint8_t* p = image.At(x, y);
    for (int k = 0; k < image.channels; ++k) p[k] = colour[k];
}

void DrawMirrorAxis(Image& image, const PictureFrame& frame) {
    // The coarsest step that leaves room between labels.
    double step = 180.0;
    for (const double s : {15.0, 30.0, 45.0, 90.0}) {
        if (s / 360.0 * frame.panoramaHeight >= 2 * kTextHeight + 8) {
            step = s;
            break;
        }
    }
    for (const double value : TickValues(0.0, 360.0, step, kMaxTicks)) {
        const int y = frame.panoramaTop +
                      std::min(frame.panoramaHeight - 1, static_cast<int>(value / 360.0 * frame.panoramaHeight));
        for (int x = frame.panoramaLeft - kTickLength; x < frame.panoramaLeft; ++x) PaintPixel(image, x, y, kFrameText);
        const std::string text = TickLabel(value, step);
        const int right = frame.panoramaLeft - kTickLength - 3;
        const int top = std::clamp(y - kTextHeight / 2, 0, image.height - kTextHeight);
        DrawText(image, std::max(0, right - static_cast<int>(text.size()) * kCharWidth), top, text,
                 kFrameFontScale, kFrameText);
    }
}

void DrawSlowAxis(Image& image, const PictureFrame& frame, const PanoramaLayout& layout) {
    const int top = frame.panoramaTop + frame.panoramaHeight;
    const double low = layout.slowMin * kDegreesPerRadian;
    const double span = layout.slowSpan * kDegreesPerRadian;
    std::vector<double> ticks;
    double step = 1.0;
    if (std::isfinite(low) && std::isfinite(span) && span > 0.0) {
        step = RoundStep(span, std::max(1.0, frame.panoramaWidth / 110.0));
        ticks = TickValues(low, low + span, step, kMaxTicks);
    }
    // A single position of the slow axis, or a span too fine for round
    // values at its size: its start is labelled.
    if (ticks.empty() && std::isfinite(low)) ticks = {low};
    for (const double value : ticks) {
        const double place = span > 0.0 && std::isfinite(span) ? (value - low) / span : 0.0;
        const int x = frame.panoramaLeft +
                      std::clamp(static_cast<int>(place * frame.panoramaWidth), 0, frame.panoramaWidth - 1);
        for (int y = top; y < top + kTickLength; ++y) PaintPixel(image, x, y, kFrameText);
        DrawLabel(image, x, top + kTickLength + 2, TickLabel(value, step), kFrameFontScale);
    }
    const std::string caption = "across: slow axis, deg   down: mirror, deg";
    DrawText(image, kMargin, top + kTickLength + 2 + kTextHeight + 4, caption,
             FittingScale(caption, frame.width), kFrameText);
}

// Where `text` may be broken: after each ", ", "; " or space run, the break
// after "; " being one that must be taken.
struct Piece {
    std::string text;  // ends with its separator
    bool breakAfter;
};

std::vector<Piece> Phrases(const std::string& text) {
    std::vector<Piece> pieces;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        current += text[i];
        const bool separator = text[i] == ' ' && i > 0 && (text[i - 1] == ',' || text[i - 1] == ';');
        if (separator && (i + 1 == text.size() || text[i + 1] != ' ')) {
            pieces.push_back({current, text[i - 1] == ';'});
            current.clear();
        }
    }
    if (!current.empty()) pieces.push_back({current, false});
    return pieces;
}

// `text` without the spaces at its end.
std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// Greedy wrapping of the pieces into lines of at most `room` characters; a
// piece longer than a line is broken at its spaces, then within its words.
std::vector<std::string> Wrap(const std::string& text, std::size_t room) {
    std::vector<std::string> lines(1);
    const auto place = [&lines, room](const std::string& piece) {
        if (!lines.back().empty() && Trimmed(lines.back() + piece).size() > room) lines.emplace_back();
        if (Trimmed(lines.back() + piece).size() <= room) {
            lines.back() += piece;
            return;
        }
        // Too long for a line of its own: word by word, a word longer than
        // a line in slices.
        std::size_t start = 0;
        while (start < piece.size()) {
            std::size_t end = piece.find(' ', start);
            end = end == std::string::npos ? piece.size() : end + 1;
            std::string word = piece.substr(start, end - start);
            start = end;
            while (!word.empty()) {
                if (!lines.back().empty() && Trimmed(lines.back() + word).size() > room) lines.emplace_back();
                // Spaces alone may run past the line's end: they are trimmed.
                const std::size_t used = lines.back().size();
                const std::size_t take = used < room ? std::min(word.size(), room - used) : word.size();
                lines.back() += word.substr(0, take);
                word.erase(0, take);
                if (!word.empty()) lines.emplace_back();
            }
        }
    };
    for (const Piece& piece : Phrases(text)) {
        place(piece.text);
        if (piece.breakAfter) lines.emplace_back();
    }
    while (lines.size() > 1 && Trimmed(lines.back()).empty()) lines.pop_back();
    for (std::string& line : lines) line = Trimmed(std::move(line));
    return lines;
}

}  // namespace

std::vector<std::string> TitleLines(const std::string& title, int width, int* scale) {
    const std::string text = FontText(title);
    const auto fits = [&](int s) {
        return static_cast<int>(text.size()) * kGlyphAdvance * s <= width - 2 * kMargin;
    };
    *scale = fits(kFrameFontScale) ? kFrameFontScale : 1;
    if (fits(*scale)) return {text};
    const auto room = static_cast<std::size_t>(std::max(8, (width - 2 * kMargin) / kGlyphAdvance));
    std::vector<std::string> lines = Wrap(text, room);
    if (lines.size() > static_cast<std::size_t>(kMaxTitleLines)) {
        lines.resize(static_cast<std::size_t>(kMaxTitleLines));
        std::string& last = lines.back();
        last = Trimmed(last.substr(0, std::min(last.size(), room - 3))) + "...";
    }
    return lines;
}

namespace {

int TitleBandHeight(const PictureFrame& frame) {
    if (frame.titleLines.size() <= 1) return kTitleBand;
    return 2 * kTitlePadding + static_cast<int>(frame.titleLines.size()) * kTitleLineHeight;
}

}  // namespace

PictureFrame PlanFrame(const PanoramaLayout& layout, int legendHeight, const std::string& title) {
    PictureFrame frame;
    const int room = kMinPictureWidth - kLeftAxis - kRightMargin;
    // Whole pixels per column, so that every column is equally wide.
    frame.columnWidth = std::max(1, room / std::max(1, layout.width));
    frame.panoramaLeft = kLeftAxis;
    frame.panoramaWidth = layout.width * frame.columnWidth;
    frame.panoramaHeight = layout.height;
    frame.width = kLeftAxis + frame.panoramaWidth + kRightMargin;
    frame.titleLines = TitleLines(title, frame.width, &frame.titleScale);
    frame.panoramaTop = TitleBandHeight(frame);
    frame.titleLeft = kMargin;
    if (frame.titleLines.size() == 1) {
        frame.titleTops = {(kTitleBand - kGlyphHeight * frame.titleScale) / 2};
    } else {
        for (std::size_t i = 0; i < frame.titleLines.size(); ++i)
            frame.titleTops.push_back(kTitlePadding + static_cast<int>(i) * kTitleLineHeight);
    }
    frame.legendTop = frame.panoramaTop + frame.panoramaHeight + kBottomAxis;
    frame.height = frame.legendTop + legendHeight;
    return frame;
}

std::string PictureTitle(const std::string& name, const ScanTable& table, const ScanAngles& angles,
                         const PanoramaLayout& layout, const std::string& details) {
    const std::string more = details.empty() ? std::string() : "; " + FontText(PrintableText(details));
    const std::size_t lines = (table.Rows() + kSamplesPerLine - 1) / kSamplesPerLine;
    std::string title = FontText(PrintableText(name)) + ": " + std::to_string(lines) + (lines == 1 ? " line" : " lines");
    if (table.Rows() == 0) return title + more;
    // The mirror's angle is cumulative; its turns say how much it covered.
    double low = INFINITY, high = -INFINITY;
    for (const double v : angles.mirror)
        if (std::isfinite(v)) low = std::min(low, v), high = std::max(high, v);
    char turns[48];
    std::snprintf(turns, sizeof turns, "%.1f", low <= high ? (high - low) / (2.0 * std::numbers::pi) : 0.0);
    return title + ", slow axis " + Degrees(layout.slowMin * kDegreesPerRadian) + " to " +
           Degrees((layout.slowMin + layout.slowSpan) * kDegreesPerRadian) + " deg, mirror " + turns + " turns" + more;
}

std::vector<bool> ColumnsWithData(const std::vector<int>& cellOfRow, const PanoramaLayout& layout) {
    // Cells first, then columns: no division per row.
    std::vector<std::uint8_t> touched(static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height), 0);
    for (const int cell : cellOfRow)
        if (cell >= 0) touched[static_cast<std::size_t>(cell)] = 1;
    std::vector<bool> hasData(static_cast<std::size_t>(layout.width), false);
    std::size_t cell = 0;
    for (int y = 0; y < layout.height; ++y)
        for (int x = 0; x < layout.width; ++x, ++cell)
            if (touched[cell]) hasData[static_cast<std::size_t>(x)] = true;
    return hasData;
}

Image FramedImage(const PictureFrame& frame, const PanoramaLayout& layout, int channels) {
    Image image(frame.width, frame.height, channels);
    // The background is one grey in every channel.
    std::fill(image.pixels.begin(), image.pixels.end(), kFrameBackground[0]);
    for (std::size_t i = 0; i < frame.titleLines.size(); ++i)
        DrawText(image, frame.titleLeft, frame.titleTops[i], frame.titleLines[i], frame.titleScale, kFrameText);
    DrawMirrorAxis(image, frame);
    DrawSlowAxis(image, frame, layout);
    return image;
}

Rgb NoDataColour(int x, int y) { return kNoDataStripes[((x + y) / 4) % 2]; }

std::vector<double> TickValues(double low, double high, double step, int maxTicks) {
    std::vector<double> values;
    if (!std::isfinite(low) || !std::isfinite(high) || !(step > 0.0) || !std::isfinite(step)) return values;
    for (double value = std::ceil(low / step) * step;
         value <= high + step * 1e-6 && static_cast<int>(values.size()) < maxTicks;) {
        values.push_back(value);
        const double next = value + step;
        if (!(next > value)) break;
        value = next;
    }
    return values;
}

double RoundStep(double span, double count) {
    const double rough = span / count;
    if (!(rough > 0.0) || !std::isfinite(rough)) return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= rough) return m * power;
    return 10.0 * power;
}

std::string TickLabel(double value, double step) {
    char text[48];
    if (!(std::fabs(value) < 1e15)) {
        std::snprintf(text, sizeof text, "%.2e", value);
    } else {
        const int decimals = step >= 1.0 ? 0 : std::min(9, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
        std::snprintf(text, sizeof text, "%.*f", decimals, value == 0.0 ? 0.0 : value);
    }
    std::string label;
    for (const char* c = text; *c != '\0'; ++c)
        if (*c != '+') label += *c;
    return label;
}

void DrawLabel(Image& image, int centreX, int top, const std::string& text, int scale) {
    const int width = static_cast<int>(text.size()) * kGlyphAdvance * scale;
    const int left = std::max(0, std::min(centreX - width / 2, image.width - width));
    DrawText(image, left, top, text, scale, kFrameText);
}

}  // namespace velscan::exporter
