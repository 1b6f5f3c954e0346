#pragma once
// The frame both pictures share: a title on top (one line where it fits,
// else wrapped over a few lines of the small font), the mirror angle's
// axis on the left (0 degrees, horizontal, at the top row), the slow axis's
// axis below the panorama, then the picture's own legend. A panorama with
// few columns has each column drawn several pixels wide, so that a short
// scan fills the frame rather than leaving it empty.

#include <cstdint>
#include <string>
#include <vector>

#include "export/colour_map.hpp"
#include "export/image.hpp"
#include "export/panorama_layout.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

namespace velscan::exporter {

inline constexpr int kFrameFontScale = 2;
inline constexpr std::uint8_t kFrameBackground[3] = {48, 48, 48};  // a grey: all three alike
inline constexpr std::uint8_t kFrameText[3] = {235, 235, 235};
// A column of the panorama without any sample is hatched in these two greys,
// which the distance colours never take.
inline constexpr Rgb kNoDataStripes[2] = {{112, 112, 112}, {80, 80, 80}};

struct PictureFrame {
    int width = 0;          // of the whole picture
    int height = 0;
    int panoramaLeft = 0;   // where the panorama's column 0 begins
    int panoramaTop = 0;
    int columnWidth = 1;    // pixels per column of the layout
    int panoramaWidth = 0;  // layout columns × columnWidth
    int panoramaHeight = 0;
    int legendTop = 0;      // the legend band runs from here to the bottom
    int titleScale = kFrameFontScale;
    std::vector<std::string> titleLines;  // in the font's characters
    int titleLeft = 0;                    // where each line begins
    std::vector<int> titleTops;           // the top row of each line
};

// The most lines a title takes; a longer one ends its last line with "...".
inline constexpr int kMaxTitleLines = 5;

// The title's lines for a picture `width` pixels wide, at `*scale`: the
// whole title on one line at the frame's font size where it fits, else at
// half of it; else wrapped at half size, after "; " always and elsewhere
// after ", " or a space where it can, within a word where it must.
std::vector<std::string> TitleLines(const std::string& title, int width, int* scale);

// The frame around `layout` titled `title` (FontText of it drawn) with a
// legend band `legendHeight` pixels high.
PictureFrame PlanFrame(const PanoramaLayout& layout, int legendHeight, const std::string& title = {});

// "name: N lines, slow axis A to B deg, mirror T turns": the name with its
// control bytes escaped, the slow axis's range as the layout spans it; then
// "; details" when `details` (the metadata's facts) is not empty; all of it
// in the font's characters (FontText).
std::string PictureTitle(const std::string& name, const ScanTable& table, const ScanAngles& angles,
                         const PanoramaLayout& layout, const std::string& details = {});

// Which of the layout's columns hold at least one sample.
std::vector<bool> ColumnsWithData(const std::vector<int>& cellOfRow, const PanoramaLayout& layout);

// A picture of the frame's size in the background colour, with the frame's
// title and both axes drawn; the caller paints the panorama and the legend.
Image FramedImage(const PictureFrame& frame, const PanoramaLayout& layout, int channels);

// The hatching of a column without data at picture pixel (x, y).
Rgb NoDataColour(int x, int y);

// Round values from `low` to `high` in steps of `step`, at most `maxTicks`;
// stops early where adding the step no longer changes the value.
std::vector<double> TickValues(double low, double high, double step, int maxTicks);

// A round step (1, 2 or 5 times a power of ten) for about `count` ticks.
double RoundStep(double span, double count);

// A tick's label with as many decimals as the step needs; beyond what a
// long holds, in the font's digits and 'e'.
std::string TickLabel(double value, double step);

// Draws `text` centred on x, moved inwards so that all of it lies inside
// the picture where the picture is wide enough.
void DrawLabel(Image& image, int centreX, int top, const std::string& text, int scale);

}  // namespace velscan::exporter
