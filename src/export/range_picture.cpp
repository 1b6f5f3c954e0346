#include "export/range_picture.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "conversion/beam_geometry.hpp"
#include "export/bitmap_font.hpp"
#include "export/colour_map.hpp"

namespace velscan::exporter {
namespace {

// The scale band below the panorama.
constexpr int kFontScale = 2;
constexpr int kBandHeight = 56;
constexpr int kMinBandWidth = 360;
constexpr int kBarHeight = 14;
constexpr int kMargin = 10;
constexpr int kMaxTicks = 20;
constexpr double kTickSlack = 1e-6;
constexpr std::uint8_t kBandColour[3] = {48, 48, 48};
constexpr std::uint8_t kTextColour[3] = {235, 235, 235};

// Entry of the colour map for a distance in [low, low + span]; a float cell
// may lie a rounding step outside.
std::size_t ColourIndex(double d, double low, double span) {
    if (!(span > 0.0)) return 0;
    const double place = (d - low) / span * 255.0;
    if (!(place > 0.0)) return 0;
    return static_cast<std::size_t>(std::lround(std::min(place, 255.0)));
}

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

void DrawScale(Image& image, int top, double nearest, double farthest) {
    for (int y = top; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) std::copy(kBandColour, kBandColour + 3, image.At(x, y));
    const auto& colours = DistanceColours();
    const std::string unit = "inches";
    const int unitWidth = static_cast<int>(unit.size()) * kGlyphAdvance * kFontScale;
    const int barLeft = kMargin + 2 * kGlyphAdvance * kFontScale;
    const int barWidth = std::max(1, image.width - barLeft - unitWidth - 3 * kMargin);
    const int barTop = top + kMargin;
    for (int x = 0; x < barWidth; ++x) {
        const Rgb c = colours[static_cast<std::size_t>(x * 255 / std::max(1, barWidth - 1))];
        for (int y = barTop; y < barTop + kBarHeight; ++y) {
            std::uint8_t* p = image.At(barLeft + x, y);
            p[0] = c.r, p[1] = c.g, p[2] = c.b;
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
                std::copy(kTextColour, kTextColour + 3, image.At(x, y));
            const std::string text = Label(value);
            const int textWidth = static_cast<int>(text.size()) * kGlyphAdvance * kFontScale;
            DrawText(image, x - textWidth / 2, labelTop, text, kFontScale, kTextColour);
        }
        if (span <= 0.0) break;
        const double next = value + step;
        if (!(next > value)) break;
        value = next;
    }
}

}  // namespace

Image RangePicture(const ScanTable& table, const ScanAngles& angles, const PanoramaLayout& layout) {
    const std::vector<int> pixel = CellsOfRows(angles, layout);
    std::vector<float> nearest(static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height),
                               std::numeric_limits<float>::infinity());
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (std::size_t row = 0; row < pixel.size(); ++row) {
        const double d = table.distance[row];
        if (!HasRange(d) || pixel[row] < 0) continue;
        float& cell = nearest[static_cast<std::size_t>(pixel[row])];
        cell = std::min(cell, static_cast<float>(d));
        low = std::min(low, d);
        high = std::max(high, d);
    }
    if (!(low <= high)) low = high = 0.0;

    Image image(std::max(layout.width, kMinBandWidth), layout.height + kBandHeight, 3);
    const auto& colours = DistanceColours();
    const double span = high - low;
    for (int y = 0; y < layout.height; ++y)
        for (int x = 0; x < layout.width; ++x) {
            const float d = nearest[static_cast<std::size_t>(y * layout.width + x)];
            const Rgb c = std::isinf(d) ? kNoRangeColour : colours[ColourIndex(d, low, span)];
            std::uint8_t* p = image.At(x, y);
            p[0] = c.r, p[1] = c.g, p[2] = c.b;
        }
    DrawScale(image, layout.height, low, high);
    return image;
}

Image AmplitudePicture(const ScanTable& table, const ScanAngles& angles, const PanoramaLayout& layout) {
    const std::vector<int> pixel = CellsOfRows(angles, layout);
    const std::size_t cells = static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height);
    std::vector<float> sum(cells, 0.0f);
    std::vector<std::uint32_t> count(cells, 0);
    for (std::size_t row = 0; row < pixel.size(); ++row) {
        if (pixel[row] < 0) continue;
        sum[static_cast<std::size_t>(pixel[row])] += table.amplitude[row];
        ++count[static_cast<std::size_t>(pixel[row])];
    }
    Image image(layout.width, layout.height, 1);
    for (std::size_t i = 0; i < cells; ++i) {
        if (count[i] == 0) continue;
        // A sum beyond single precision is infinite, or not a number.
        const float mean = sum[i] / static_cast<float>(count[i]);
        image.pixels[i] = static_cast<std::uint8_t>(
            std::isnan(mean) ? 0 : std::lround(std::clamp(mean, 0.0f, 255.0f)));
    }
    return image;
}

}  // namespace velscan::exporter
