// The pictures' frame: the title names the table, tick labels stay inside
// the picture whatever the span, every column with data is drawn and the
// columns without are told apart from pixels without range.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <utility>
#include <string>
#include <tuple>
#include <vector>

#include "conversion/beam_geometry.hpp"
#include "conversion/samples.hpp"
#include "export/bitmap_font.hpp"
#include "export/colour_map.hpp"
#include "export/picture_frame.hpp"
#include "export/range_picture.hpp"

namespace velscan::exporter {
namespace {

struct Scan {
    ScanTable table;
    ScanAngles angles;
};

// `turns` mirror turns of `perTurn` samples, the slow axis stepping once a
// turn by `slowStep` radians; turns for which skip(turn) holds have no rows.
template <typename Skip>
Scan TurnsScan(int turns, int perTurn, double slowStep, Skip skip) {
    Scan scan;
    for (int turn = 0; turn < turns; ++turn)
        for (int i = 0; i < perTurn; ++i) {
            if (skip(turn)) continue;
            scan.table.distance.push_back(i % 7 == 0 ? 0.0 : 100.0 + i);
            scan.table.amplitude.push_back(static_cast<float>(i % 256));
            scan.table.temperature.push_back(70.0f);
            scan.angles.mirror.push_back(kFullTurn * (turn + (i + 0.5) / perTurn));
            scan.angles.slowAxis.push_back(slowStep * turn);
        }
    return scan;
}

int LitPixels(Image& image, int left, int top, int width, int height) {
    int lit = 0;
    for (int y = std::max(0, top); y < std::min(image.height, top + height); ++y)
        for (int x = std::max(0, left); x < std::min(image.width, left + width); ++x)
            lit += image.At(x, y)[0] == kFrameText[0];
    return lit;
}

// --- the title ----------------------------------------------------------------

TEST(PictureTitle, NamesTheTableEscapedWithItsLinesAndAngles) {
    Scan scan = TurnsScan(4, 10, 0.01, [](int) { return false; });
    scan.table.distance.resize(kSamplesPerLine + 1, 100.0);  // a second, partial line
    scan.angles.mirror.resize(scan.table.Rows(), scan.angles.mirror.back());
    scan.angles.slowAxis.resize(scan.table.Rows(), scan.angles.slowAxis.back());
    const PanoramaLayout layout = ChoosePanorama(scan.table, scan.angles);
    const std::string title = PictureTitle("room\x1b]0;x\a.txt", scan.table, scan.angles, layout);
    EXPECT_EQ(title.rfind("room\\x1b]0;x\\x07.txt: 2 lines, ", 0), 0u) << title;
    for (const char c : title) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << title;
    EXPECT_NE(title.find("slow axis 0.0 to 1.7 deg"), std::string::npos) << title;
    EXPECT_NE(title.find("mirror 3.9 turns"), std::string::npos) << title;
}

TEST(PictureTitle, IsDrawnAndDiffersWithTheName) {
    const Scan scan = TurnsScan(6, 50, 0.01, [](int) { return false; });
    const PanoramaLayout layout = ChoosePanorama(scan.table, scan.angles);
    const PictureFrame frame = PlanFrame(layout, PictureLegendHeight());
    Image a = RangePicture(scan.table, scan.angles, layout, "a.txt");
    Image b = RangePicture(scan.table, scan.angles, layout, "another.txt");
    const int litA = LitPixels(a, 0, 0, a.width, frame.panoramaTop);
    EXPECT_GT(litA, 0);
    EXPECT_NE(litA, LitPixels(b, 0, 0, b.width, frame.panoramaTop));
}

// A name of `length` characters, words of `word` letters apart by spaces
// (no space at all when `word` is 0).
std::string LongName(std::size_t length, std::size_t word) {
    std::string name;
    for (std::size_t i = 0; name.size() < length; ++i)
        name += word != 0 && i % (word + 1) == word ? ' ' : static_cast<char>('a' + i % 26);
    return name + ".txt";
}

TEST(PictureTitle, EveryCharacterOfTheTitleIsDrawnInsideThePictureInAGlyphOfItsOwn) {
    std::string manyLost = "lost samples in lines ";
    for (int line = 1; line <= 400; line += 3) manyLost += std::to_string(line) + ", ";
    const std::vector<std::string> names = {"default.txt", "K\xc3\xbc" "che 20\xc2\xb0\xc3\x97" "3 \xe2\x80\x93 \xe2\x80\x9c" "A\xe2\x80\x9d[1]; {x}.txt",
                                            LongName(150, 7), LongName(300, 0), "a\x1b]0;t\a \xff\xfe.txt",
                                            "C:\\scans\\2026 \xe4\xb8\xad.txt"};
    const std::vector<std::string> details = {"", "2026-12-09 07:30 UTC, -s 20 -r 650 -p 255, 200 of 200 lines",
                                              "2026-12-09 07:30 UTC, -s 20, 10 of 10 lines, " + manyLost};
    int complete = 0, shortened = 0;
    for (const int turns : {4, 60}) {
        const Scan scan = TurnsScan(turns, 200, 0.05, [](int) { return false; });
        const PanoramaLayout layout = ChoosePanorama(scan.table, scan.angles);
        for (const std::string& name : names)
            for (const std::string& detail : details) {
                const std::string title = PictureTitle(name, scan.table, scan.angles, layout, detail);
                const PictureFrame frame = PlanFrame(layout, PictureLegendHeight(), title);
                Image picture = RangePicture(scan.table, scan.angles, layout, name, detail);
                ASSERT_EQ(picture.width, frame.width);
                ASSERT_EQ(frame.titleLines.size(), frame.titleTops.size());
                // Each line drawn alone on a canvas far wider than the picture:
                // none of its pixels lies beyond the picture's right edge or
                // below the title's band, and every one shows in the picture.
                for (std::size_t i = 0; i < frame.titleLines.size(); ++i) {
                    const std::string& line = frame.titleLines[i];
                    for (const char c : line) EXPECT_TRUE(HasGlyph(c)) << "'" << c << "' in " << line;
                    Image alone(8 * picture.width + 2000, frame.panoramaTop + 40, 3);
                    DrawText(alone, frame.titleLeft, frame.titleTops[i], line, frame.titleScale, kFrameText);
                    int lit = 0, shown = 0, right = -1, bottom = -1;
                    for (int y = 0; y < alone.height; ++y)
                        for (int x = 0; x < alone.width; ++x) {
                            if (alone.At(x, y)[0] != kFrameText[0]) continue;
                            ++lit;
                            right = std::max(right, x);
                            bottom = std::max(bottom, y);
                            shown += x < picture.width && y < picture.height && picture.At(x, y)[0] == kFrameText[0];
                        }
                    EXPECT_GT(lit, 0) << line;
                    EXPECT_LT(right, picture.width - 1) << name << " / " << detail << ": " << line;
                    EXPECT_LT(bottom, frame.panoramaTop) << line;
                    EXPECT_EQ(shown, lit) << line;
                }
                // Nothing of the title is left out, short of the end of one
                // too long for the lines a title may take.
                std::string drawn, whole;
                for (const std::string& line : frame.titleLines) drawn += line;
                for (const char c : FontText(title)) whole += c;
                std::erase(drawn, ' ');
                std::erase(whole, ' ');
                if (drawn == whole) {
                    ++complete;
                } else {
                    ++shortened;
                    EXPECT_EQ(frame.titleLines.size(), static_cast<std::size_t>(kMaxTitleLines)) << drawn;
                    ASSERT_GE(drawn.size(), 3u);
                    EXPECT_EQ(drawn.substr(drawn.size() - 3), "...");
                    EXPECT_EQ(whole.rfind(drawn.substr(0, drawn.size() - 3), 0), 0u) << drawn;
                }
            }
    }
    // Both kinds were seen: the longest titles (300 letters without a space,
    // or 130 lines with lost samples) are shortened.
    EXPECT_GT(complete, 0);
    EXPECT_GT(shortened, 0);
}

TEST(PictureTitle, AWrappedTitleBreaksBeforeTheScanFactsAndTheShortOneStaysOnOneLine) {
    const Scan scan = TurnsScan(40, 200, 0.05, [](int) { return false; });
    const PanoramaLayout layout = ChoosePanorama(scan.table, scan.angles);
    const std::string facts = "2026-12-09 07:30 UTC, -s 20 -r 650 -p 255, 200 of 200 lines";
    const PictureFrame wrapped =
        PlanFrame(layout, PictureLegendHeight(), PictureTitle("room.txt", scan.table, scan.angles, layout, facts));
    ASSERT_EQ(wrapped.titleLines.size(), 2u);
    EXPECT_EQ(wrapped.titleLines[0].back(), ';');
    EXPECT_EQ(wrapped.titleLines[1], facts);
    EXPECT_EQ(wrapped.titleScale, 1);
    // The one-line title keeps its band; the wrapped one moves the panorama down.
    const PictureFrame plain = PlanFrame(layout, PictureLegendHeight(), "room.txt");
    EXPECT_EQ(plain.titleLines, std::vector<std::string>{"room.txt"});
    EXPECT_EQ(plain.titleScale, kFrameFontScale);
    EXPECT_EQ(plain.panoramaTop, PlanFrame(layout, PictureLegendHeight()).panoramaTop);
    EXPECT_GT(wrapped.panoramaTop, plain.panoramaTop);
    EXPECT_EQ(wrapped.height - wrapped.panoramaTop, plain.height - plain.panoramaTop);
}

// --- the font -----------------------------------------------------------------

TEST(PictureFont, EveryPrintableCharacterHasAGlyphOfItsOwn) {
    // Each glyph drawn alone, as its pixels; capitals draw as small letters.
    const auto pixels = [](char c) {
        Image image(kGlyphAdvance, kGlyphHeight, 1);
        DrawText(image, 0, 0, std::string(1, c), 1, kFrameText);
        return image.pixels;
    };
    std::set<std::vector<std::uint8_t>> seen;
    for (int c = 0x20; c < 0x7f; ++c) {
        EXPECT_TRUE(HasGlyph(static_cast<char>(c))) << static_cast<char>(c);
        if (c >= 'A' && c <= 'Z') {
            EXPECT_EQ(pixels(static_cast<char>(c)), pixels(static_cast<char>(c - 'A' + 'a')));
            continue;
        }
        EXPECT_TRUE(seen.insert(pixels(static_cast<char>(c))).second) << "'" << static_cast<char>(c) << "'";
    }
    // Bytes outside the font draw as one sign, which no character shares.
    for (const char c : {'\x01', '\x7f', '\x80', '\xc3', '\xff'}) {
        EXPECT_FALSE(HasGlyph(c));
        EXPECT_FALSE(seen.count(pixels(c)));
    }
}

TEST(PictureFont, TextBecomesCharactersTheFontHas) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain: a-b_c (1/2) [x] {y} 100% #3 @4 ~5 ^6 |7 ;8 'q' \"r\" <s> *t* !u ?v `w` &x $y =z +",
         "plain: a-b_c (1/2) [x] {y} 100% #3 @4 ~5 ^6 |7 ;8 'q' \"r\" <s> *t* !u ?v `w` &x $y =z +"},
        {"K\xc3\xbc" "che \xc3\x89t\xc3\xa9 Stra\xc3\x9f\x65", "Kuche Ete Strasse"},
        {"20\xc2\xb0 3\xc3\x97" "4 \xc2\xb5m \xc2\xb1 1", "20deg 3x4 um +- 1"},
        {"\xe2\x80\x9cq\xe2\x80\x9d \xe2\x80\x98s\xe2\x80\x99 a\xe2\x80\x93" "b\xe2\x80\xa6", "\"q\" 's' a-b..."},
        {"\xe4\xb8\xad\xf0\x9f\x98\x80", "\\u4e2d\\u01f600"},
        // Bytes that are no UTF-8: a lone continuation, a cut sequence, an
        // overlong '/', a surrogate, a control byte.
        {"\x80|\xc3|\xc0\xaf|\xed\xa0\x80|\x1b", "\\x80|\\xc3|\\xc0\\xaf|\\xed\\xa0\\x80|\\x1b"},
    };
    for (const auto& [text, expected] : cases) {
        const std::string shown = FontText(text);
        EXPECT_EQ(shown, expected);
        for (const char c : shown) EXPECT_TRUE(HasGlyph(c)) << shown;
    }
}

// --- ticks and labels ---------------------------------------------------------

TEST(PictureAxes, ALabelAtThePictureEdgeIsDrawnWhole) {
    const std::string text = "-1.23e308";
    Image wide(400, 30, 3);
    DrawText(wide, 10, 5, text, kFrameFontScale, kFrameText);
    const int whole = LitPixels(wide, 0, 0, wide.width, wide.height);
    for (const int centre : {0, 5, 199, 394, 399, 10000, -10000}) {
        Image image(200, 30, 3);
        DrawLabel(image, centre, 5, text, kFrameFontScale);
        EXPECT_EQ(LitPixels(image, 0, 0, image.width, image.height), whole) << "centre " << centre;
    }
}

TEST(PictureAxes, TicksOfHostileSpansAreFewFiniteAndInsideTheSpan) {
    struct Span {
        double low, high, step;
    };
    for (const Span s : {Span{0.0, 360.0, 15.0}, Span{1e300, 1e300 + 1e284, 1e283},
                         Span{2.0e17, 2.0e17 + 64.0, 1.0},  // a step below the values' precision
                         Span{-1e308, 1e308, 1e307}, Span{0.0, 1e-300, 1e-301}}) {
        const std::vector<double> ticks = TickValues(s.low, s.high, s.step, 20);
        EXPECT_LE(ticks.size(), 20u);
        EXPECT_FALSE(ticks.empty()) << s.low;
        for (const double t : ticks) {
            EXPECT_TRUE(std::isfinite(t));
            EXPECT_GE(t, s.low - s.step);
            EXPECT_LE(t, s.high + s.step);
        }
    }
    EXPECT_TRUE(TickValues(0.0, INFINITY, 1.0, 20).empty());
    EXPECT_TRUE(TickValues(0.0, 1.0, 0.0, 20).empty());
    EXPECT_TRUE(TickValues(NAN, 1.0, 1.0, 20).empty());
    EXPECT_EQ(TickLabel(0.25, 0.05), "0.25");
    EXPECT_EQ(TickLabel(170.0, 5.0), "170");
    EXPECT_EQ(TickLabel(-0.0, 1.0), "0");
    EXPECT_EQ(TickLabel(1e300, 1e299), "1.00e300");
}

TEST(PictureAxes, HostileSlowAxisSpansStillLabelTheAxisInsideThePicture) {
    const Scan scan = TurnsScan(3, 40, 0.01, [](int) { return false; });
    for (const auto& [low, span] : std::vector<std::pair<double, double>>{
             {-1e308, INFINITY}, {1e306, 1e-300}, {2.0e17, 64.0}, {0.0, 0.0}, {NAN, NAN}, {-0.5, 1e-9}}) {
        PanoramaLayout layout{3, 64, low, span};
        const PictureFrame frame = PlanFrame(layout, PictureLegendHeight());
        Image image = RangePicture(scan.table, scan.angles, layout, "t");
        ASSERT_EQ(image.width, frame.width);
        ASSERT_EQ(image.height, frame.height);
        // The labels of the slow axis lie in the band just below the panorama.
        // (The mirror axis's last label reaches 7 rows into that band.)
        const int band = frame.panoramaTop + frame.panoramaHeight + 8;
        const int lit = LitPixels(image, 0, band, image.width, kGlyphHeight * kFrameFontScale);
        // Labelled wherever its start in degrees is a number.
        if (std::isfinite(low / kFullTurn * 360.0)) {
            EXPECT_GT(lit, 0) << low << " " << span;
        } else {
            EXPECT_EQ(lit, 0) << low << " " << span;
        }
    }
}

// --- columns with and without data --------------------------------------------

TEST(PictureColumns, EveryColumnWithDataIsDrawnAndTheOthersAreHatched) {
    // Ten turns; turns 3 and 4 lost.
    const Scan scan = TurnsScan(10, 200, 0.01, [](int turn) { return turn == 3 || turn == 4; });
    PanoramaLayout layout = ChoosePanorama(scan.table, scan.angles);
    layout.width = 10;  // one column per turn, the lost ones included
    const std::vector<bool> hasData = ColumnsWithData(CellsOfRows(scan.angles, layout), layout);
    EXPECT_EQ(hasData, (std::vector<bool>{true, true, true, false, false, true, true, true, true, true}));

    const PictureFrame frame = PlanFrame(layout, PictureLegendHeight());
    EXPECT_GT(frame.columnWidth, 1);  // ten columns are not left ten pixels wide
    EXPECT_EQ(frame.panoramaWidth, layout.width * frame.columnWidth);
    Image image = RangePicture(scan.table, scan.angles, layout, "t");
    const std::set<std::tuple<int, int, int>> hatch = {
        {kNoDataStripes[0].r, kNoDataStripes[0].g, kNoDataStripes[0].b},
        {kNoDataStripes[1].r, kNoDataStripes[1].g, kNoDataStripes[1].b}};
    for (const Rgb c : DistanceColours()) EXPECT_FALSE(hatch.count({c.r, c.g, c.b}));
    EXPECT_FALSE(hatch.count({kNoRangeColour.r, kNoRangeColour.g, kNoRangeColour.b}));
    for (int px = 0; px < frame.panoramaWidth; ++px) {
        const bool data = hasData[static_cast<std::size_t>(px / frame.columnWidth)];
        int hatched = 0, noRange = 0;
        for (int y = 0; y < frame.panoramaHeight; ++y) {
            const std::uint8_t* p = image.At(frame.panoramaLeft + px, frame.panoramaTop + y);
            hatched += hatch.count({p[0], p[1], p[2]}) ? 1 : 0;
            noRange += p[0] == 0 && p[1] == 0 && p[2] == 0;
        }
        EXPECT_EQ(hatched, data ? 0 : frame.panoramaHeight) << "pixel column " << px;
        // Every seventh sample has no range: black shows in every data column.
        if (data) {
            EXPECT_GT(noRange, 0) << "pixel column " << px;
        }
    }
}

TEST(PictureColumns, TheAmplitudePictureHatchesTheSameColumnsAndHasAGreyScale) {
    const Scan scan = TurnsScan(10, 200, 0.01, [](int turn) { return turn == 5; });
    PanoramaLayout layout = ChoosePanorama(scan.table, scan.angles);
    layout.width = 10;
    const PictureFrame frame = PlanFrame(layout, PictureLegendHeight());
    Image image = AmplitudePicture(scan.table, scan.angles, layout, "t");
    ASSERT_EQ(image.channels, 1);
    ASSERT_EQ(image.width, frame.width);
    int striped = 0;
    for (int y = 0; y < frame.panoramaHeight; ++y)
        for (int px = 0; px < frame.panoramaWidth; ++px) {
            const int v = image.At(frame.panoramaLeft + px, frame.panoramaTop + y)[0];
            const bool hatch = v == kNoDataStripes[0].r || v == kNoDataStripes[1].r;
            if (px / frame.columnWidth == 5) striped += hatch;
        }
    EXPECT_EQ(striped, frame.columnWidth * frame.panoramaHeight);
    // The legend's bar runs through every grey level from black to white.
    std::set<int> levels;
    for (int x = 0; x < image.width; ++x) levels.insert(image.At(x, frame.legendTop + 15)[0]);
    EXPECT_TRUE(levels.count(0));
    EXPECT_TRUE(levels.count(255));
    EXPECT_GE(levels.size(), 200u);
    EXPECT_GT(LitPixels(image, 0, frame.legendTop + 24, image.width, 30), 0);  // its ticks and labels
}

}  // namespace
}  // namespace velscan::exporter
