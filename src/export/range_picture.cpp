#include "export/range_picture.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "conversion/beam_geometry.hpp"
#include "export/bitmap_font.hpp"
#include "export/colour_map.hpp"
#include "export/picture_frame.hpp"

namespace velscan::exporter {
namespace {

// The legend band below the axes: the bar with its ticks, then a row of
// swatches for the pixels that carry no value.
constexpr int kFontScale = kFrameFontScale;
constexpr int kScaleHeight = 56;
constexpr int kSwatchRow = 24;
constexpr int kBarHeight = 14;
constexpr int kMargin = 10;
constexpr int kMaxTicks = 20;
constexpr double kTickSlack = 1e-6;

// A round step between labelled distances: 1, 2 or 5 times a power of ten.
double TickStep(double span) {
    const double rough = span / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= rough) return m * power;
    return 10.0 * power;
}

// Whole inches; beyond what a long holds, in the font's digits and 'e'.
std::string Label(double value) {
    if (std::fabs(value) < 1e15) return std::to_string(std::lround(value));
    char text[32];
    std::snprintf(text, sizeof text, "%.2e", value);
    std::string label;
    for (const char* c = text; *c != '\0'; ++c)
        if (*c != '+') label += *c;
    return label;
}

const std::array<Rgb, 256>& GreyLevels() {
    static const std::array<Rgb, 256> levels = [] {
        std::array<Rgb, 256> grey{};
        for (std::size_t i = 0; i < grey.size(); ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            grey[i] = {v, v, v};
        }
        return grey;
    }();
    return levels;
}

void PaintPixel(Image& image, int x, int y, Rgb c) {
    std::uint8_t* p = image.At(x, y);
    const std::uint8_t rgb[3] = {c.r, c.g, c.b};
    for (int k = 0; k < image.channels; ++k) p[k] = rgb[k];
}

// The bar of `colours` from `nearest` to `farthest`, labelled in `unit`.
void DrawScale(Image& image, int top, double nearest, double farthest, const std::array<Rgb, 256>& colours,
               const std::string& unit) {
    const auto* kTextColour = kFrameText;
    const int unitWidth = static_cast<int>(unit.size()) * kGlyphAdvance * kFontScale;
    const int barLeft = kMargin + 2 * kGlyphAdvance * kFontScale;
    const int barWidth = std::max(1, image.width - barLeft - unitWidth - 3 * kMargin);
    const int barTop = top + kMargin;
    for (int x = 0; x < barWidth; ++x) {
        const Rgb c = colours[static_cast<std::size_t>(x * 255 / std::max(1, barWidth - 1))];
        for (int y = barTop; y < barTop + kBarHeight; ++y) {
            PaintPixel(image, barLeft + x, y, c);
        }
    }
    DrawText(image, barLeft + barWidth + kMargin, barTop, unit, kFontScale, kTextColour);

    const double span = farthest - nearest;
    const double step = span > 0.0 ? TickStep(span) : 1.0;
    const int labelTop = barTop + kBarHeight + 6;
    // A step below the values' precision would not advance: ticks stop where
    // adding the step changes nothing, and are never more than a bar holds.
    int ticks = 0;
    for (double value = std::ceil(nearest / step) * step; value <= farthest + 1e-9 && ticks < kMaxTicks;
         ++ticks) {
        const double place = span > 0.0 ? (value - nearest) / span : 0.0;
        // A tick a rounding step outside the bar goes on its end.
        if (place >= -kTickSlack && place <= 1.0 + kTickSlack) {
            const int x = barLeft + std::clamp(static_cast<int>(place * (barWidth - 1)), 0, barWidth - 1);
            for (int y = barTop + kBarHeight; y < labelTop - 1; ++y)
                PaintPixel(image, x, y, Rgb{kTextColour[0], kTextColour[1], kTextColour[2]});
            DrawLabel(image, x, labelTop, Label(value), kFontScale);
        }
        if (span <= 0.0) break;
        const double next = value + step;
        if (!(next > value)) break;
        value = next;
    }
}

// A swatch and its name; returns where the next one may begin.
int DrawSwatch(Image& image, int left, int top, bool hatched, Rgb colour, const std::string& name) {
    const int side = kGlyphHeight * kFontScale;
    for (int y = top; y < top + side; ++y)
        for (int x = left; x < left + side; ++x)
            if (x < image.width && y < image.height) PaintPixel(image, x, y, hatched ? NoDataColour(x, y) : colour);
    const int textLeft = left + side + 6;
    DrawText(image, textLeft, top, name, kFontScale, kFrameText);
    return textLeft + static_cast<int>(name.size()) * kGlyphAdvance * kFontScale + 2 * kMargin;
}

// The panorama's cells, `colourOf(cell)` in the columns with data, hatched
// in the others.
template <typename ColourOf>
void PaintPanorama(Image& image, const PictureFrame& frame, const PanoramaLayout& layout,
                   const std::vector<bool>& hasData, ColourOf colourOf) {
    const auto channels = static_cast<std::size_t>(image.channels);
    for (int y = 0; y < layout.height; ++y)
        for (int x = 0; x < layout.width; ++x) {
            if (hasData[static_cast<std::size_t>(x)]) {
                const Rgb c = colourOf(static_cast<std::size_t>(y * layout.width + x));
                std::uint8_t* p = image.At(frame.panoramaLeft + x * frame.columnWidth, frame.panoramaTop + y);
                for (int i = 0; i < frame.columnWidth; ++i, p += channels) {
                    p[0] = c.r;
                    if (channels == 3) p[1] = c.g, p[2] = c.b;
                }
                continue;
            }
            for (int i = 0; i < frame.columnWidth; ++i) {
                const int px = frame.panoramaLeft + x * frame.columnWidth + i, py = frame.panoramaTop + y;
                PaintPixel(image, px, py, NoDataColour(px, py));
            }
        }
}

}  // namespace

int PictureLegendHeight() { return kScaleHeight + kSwatchRow; }

Image RangePicture(const ScanTable& table, const ScanAngles& angles, const PanoramaLayout& layout,
                   const std::string& name, const std::string& details) {
    const std::vector<int> pixel = CellsOfRows(angles, layout);
    std::vector<float> nearest(static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height),
                               std::numeric_limits<float>::infinity());
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (std::size_t row = 0; row < pixel.size(); ++row) {
        const double d = table.distance[row];
        if (!HasRange(d) || pixel[row] < 0) continue;
        // A distance no float holds stays out of the scale and takes the
        // colour of its end.
        float& cell = nearest[static_cast<std::size_t>(pixel[row])];
        cell = std::min(cell, static_cast<float>(std::clamp(d, -kLargestPointDistance, kLargestPointDistance)));
        if (BeyondPointRange(d)) continue;
        low = std::min(low, d);
        high = std::max(high, d);
    }
    if (!(low <= high)) low = high = 0.0;

    const PictureFrame frame = PlanFrame(layout, PictureLegendHeight(), PictureTitle(name, table, angles, layout, details));
    Image image = FramedImage(frame, layout, 3);
    const auto& colours = DistanceColours();
    const double span = high - low;
    PaintPanorama(image, frame, layout, ColumnsWithData(pixel, layout), [&](std::size_t cell) {
        const float d = nearest[cell];
        return std::isinf(d) ? kNoRangeColour : colours[DistanceColourIndex(d, low, span)];
    });
    DrawScale(image, frame.legendTop, low, high, colours, "inches");
    const int swatchTop = frame.legendTop + kScaleHeight;
    const int next = DrawSwatch(image, kMargin, swatchTop, false, kNoRangeColour, "no range");
    DrawSwatch(image, next, swatchTop, true, kNoRangeColour, "no data");
    return image;
}

Image AmplitudePicture(const ScanTable& table, const ScanAngles& angles, const PanoramaLayout& layout,
                       const std::string& name, const std::string& details) {
    const std::vector<int> pixel = CellsOfRows(angles, layout);
    const std::size_t cells = static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height);
    std::vector<float> sum(cells, 0.0f);
    std::vector<std::uint32_t> count(cells, 0);
    for (std::size_t row = 0; row < pixel.size(); ++row) {
        if (pixel[row] < 0) continue;
        sum[static_cast<std::size_t>(pixel[row])] += table.amplitude[row];
        ++count[static_cast<std::size_t>(pixel[row])];
    }
    const PictureFrame frame = PlanFrame(layout, PictureLegendHeight(), PictureTitle(name, table, angles, layout, details));
    Image image = FramedImage(frame, layout, 1);
    const auto& grey = GreyLevels();
    PaintPanorama(image, frame, layout, ColumnsWithData(pixel, layout), [&](std::size_t i) {
        if (count[i] == 0) return grey[0];
        // A sum beyond single precision is infinite, or not a number.
        const float mean = sum[i] / static_cast<float>(count[i]);
        return grey[std::isnan(mean) ? 0 : static_cast<std::size_t>(std::lround(std::clamp(mean, 0.0f, 255.0f)))];
    });
    DrawScale(image, frame.legendTop, 0.0, 255.0, grey, "amplitude");
    DrawSwatch(image, kMargin, frame.legendTop + kScaleHeight, true, grey[0], "no data");
    return image;
}

}  // namespace velscan::exporter
