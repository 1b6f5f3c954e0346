#include "export/range_picture.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "conversion/beam_geometry.hpp"
#include "export/bitmap_font.hpp"
#include "export/colour_map.hpp"

namespace velscan::exporter {
namespace {

constexpr int kMinPictureHeight = 64;
constexpr int kDefaultPictureHeight = 1000;
// The scale band below the panorama.
constexpr int kFontScale = 2;
constexpr int kBandHeight = 56;
constexpr int kMinBandWidth = 360;
constexpr int kBarHeight = 14;
constexpr int kMargin = 10;
constexpr std::uint8_t kBandColour[3] = {48, 48, 48};
constexpr std::uint8_t kTextColour[3] = {235, 235, 235};

// Pixel of each row, or -1 for a row outside the panorama.
std::vector<int> PixelOfRows(const ScanAngles& angles, const PanoramaLayout& layout) {
    std::vector<int> pixel(angles.mirror.size());
    for (std::size_t row = 0; row < pixel.size(); ++row) {
        double turn = std::fmod(angles.mirror[row], kFullTurn);
        if (turn < 0.0) turn += kFullTurn;
        const int y = std::min(layout.height - 1, static_cast<int>(turn / kFullTurn * layout.height));
        const double across = layout.slowSpan > 0.0
                                  ? (angles.slowAxis[row] - layout.slowMin) / layout.slowSpan
                                  : 0.0;
        const int x = std::clamp(static_cast<int>(across * layout.width), 0, layout.width - 1);
        pixel[row] = y * layout.width + x;
    }
    return pixel;
}

// A round step between labelled distances: 1, 2 or 5 times a power of ten.
double TickStep(double span) {
    const double rough = span / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= rough) return m * power;
    return 10.0 * power;
}

std::string Label(double value) {
    const long rounded = std::lround(value);
    return std::to_string(rounded);
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
    for (double value = std::ceil(nearest / step) * step; value <= farthest + 1e-9; value += step) {
        const int x = barLeft + (span > 0.0 ? static_cast<int>((value - nearest) / span * (barWidth - 1)) : 0);
        for (int y = barTop + kBarHeight; y < labelTop - 1; ++y)
            std::copy(kTextColour, kTextColour + 3, image.At(x, y));
        const std::string text = Label(value);
        const int textWidth = static_cast<int>(text.size()) * kGlyphAdvance * kFontScale;
        DrawText(image, x - textWidth / 2, labelTop, text, kFontScale, kTextColour);
        if (span <= 0.0) break;
    }
}

}  // namespace

PanoramaLayout ChoosePanorama(const ScanTable& table, const ScanAngles& angles) {
    PanoramaLayout layout;
    const std::size_t rows = table.Rows();
    if (rows == 0) return layout;
    const auto [mirrorLow, mirrorHigh] = std::minmax_element(angles.mirror.begin(), angles.mirror.end());
    const auto [slowLow, slowHigh] = std::minmax_element(angles.slowAxis.begin(), angles.slowAxis.end());
    layout.slowMin = *slowLow;
    layout.slowSpan = *slowHigh - *slowLow;

    // One column per mirror turn, but no more columns than distinct slow-axis
    // positions (the table's own angles step only 200 times a turn).
    const double turns = std::max(1.0, (*mirrorHigh - *mirrorLow) / kFullTurn);
    std::size_t slowPositions = 1;
    for (std::size_t i = 1; i < rows; ++i) slowPositions += angles.slowAxis[i] != angles.slowAxis[i - 1];
    const double columns = std::min(turns, static_cast<double>(slowPositions));
    layout.width = std::clamp(static_cast<int>(std::lround(columns)), 1, kMaxPictureSide);

    // Square pixels in angle where the slow axis moved, at most one row per
    // sample of a turn.
    const double samplesPerTurn = static_cast<double>(rows) / turns;
    double height = layout.slowSpan > 0.0 && layout.width > 1
                        ? kFullTurn / (layout.slowSpan / layout.width)
                        : kDefaultPictureHeight;
    height = std::min(height, samplesPerTurn);
    layout.height = std::clamp(static_cast<int>(std::lround(height)), kMinPictureHeight, kMaxPictureSide);
    return layout;
}

Image RangePicture(const ScanTable& table, const ScanAngles& angles, const PanoramaLayout& layout) {
    const std::vector<int> pixel = PixelOfRows(angles, layout);
    std::vector<float> nearest(static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height),
                               std::numeric_limits<float>::infinity());
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (std::size_t row = 0; row < pixel.size(); ++row) {
        const double d = table.distance[row];
        if (!HasRange(d)) continue;
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
            const Rgb c = std::isinf(d) ? kNoRangeColour
                                        : colours[static_cast<std::size_t>(
                                              span > 0.0 ? std::lround((d - low) / span * 255.0) : 0)];
            std::uint8_t* p = image.At(x, y);
            p[0] = c.r, p[1] = c.g, p[2] = c.b;
        }
    DrawScale(image, layout.height, low, high);
    return image;
}

Image AmplitudePicture(const ScanTable& table, const ScanAngles& angles, const PanoramaLayout& layout) {
    const std::vector<int> pixel = PixelOfRows(angles, layout);
    const std::size_t cells = static_cast<std::size_t>(layout.width) * static_cast<std::size_t>(layout.height);
    std::vector<float> sum(cells, 0.0f);
    std::vector<std::uint32_t> count(cells, 0);
    for (std::size_t row = 0; row < pixel.size(); ++row) {
        sum[static_cast<std::size_t>(pixel[row])] += table.amplitude[row];
        ++count[static_cast<std::size_t>(pixel[row])];
    }
    Image image(layout.width, layout.height, 1);
    for (std::size_t i = 0; i < cells; ++i)
        if (count[i] != 0)
            image.pixels[i] = static_cast<std::uint8_t>(
                std::clamp(std::lround(sum[i] / static_cast<float>(count[i])), 0L, 255L));
    return image;
}

}  // namespace velscan::exporter
