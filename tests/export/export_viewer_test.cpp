// The HTML viewer's parts that its page relies on: the positions' quantizer
// keeps every point within 0.05 inch, the base64 of its data, the panel's
// lines as script-safe JSON, and the page: the embedded head, then the data.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "export/base64.hpp"
#include "export/position_quantizer.hpp"
#include "export/scan_metadata.hpp"
#include "export/summary.hpp"
#include "export/viewer_assets.hpp"
#include "export/viewer_info.hpp"
#include "export_fixture.hpp"
#include "program_run.hpp"

namespace velscan::exporter {
namespace {

constexpr double kBound = 0.05;  // inches

// The farthest any of `count` random points in `box` moves through the
// quantizer and the page's decoding, box corners included.
double FarthestMove(const PositionQuantizer& quantizer, const Box& box, int count) {
    std::mt19937 random(17);
    std::vector<std::array<double, 3>> points{box.low, box.high,
                                              {box.low[0], box.high[1], box.low[2]}};
    for (int i = 0; i < count; ++i) {
        std::array<double, 3> p{};
        for (int axis = 0; axis < 3; ++axis)
            p[axis] = std::uniform_real_distribution<double>(box.low[axis], box.high[axis])(random);
        points.push_back(p);
    }
    double farthest = 0.0;
    for (const auto& p : points) {
        const std::array<float, 3> back = quantizer.Decode(quantizer.Encode(p));
        double squared = 0.0;
        for (int axis = 0; axis < 3; ++axis) squared += std::pow(back[axis] - p[axis], 2);
        farthest = std::max(farthest, std::sqrt(squared));
    }
    return farthest;
}

// --- the quantizer ----------------------------------------------------------

TEST(PositionQuantizer, ARoomTakes16BitsAndNoPointMovesBeyondTheBound) {
    // The built-in room seen from the scanner: about 700 by 700 by 300 inches.
    const Box room{{-350.0, -320.0, -60.0}, {340.0, 360.0, 240.0}};
    const PositionQuantizer quantizer(room, kBound);
    ASSERT_TRUE(quantizer.Quantized());
    EXPECT_LE(FarthestMove(quantizer, room, 200000), kBound);
}

TEST(PositionQuantizer, A16BitStepJustWithinTheBoundIsKeptAndOneBeyondFallsBackToFloat) {
    // Half a step on each of three axes: span / 65535 / 2 * sqrt(3) <= 0.05
    // holds up to a span of about 3783 inches.
    const Box within{{0.0, 0.0, 0.0}, {3700.0, 3700.0, 3700.0}};
    const PositionQuantizer fine(within, kBound);
    ASSERT_TRUE(fine.Quantized());
    EXPECT_LE(FarthestMove(fine, within, 100000), kBound);

    const Box beyond{{0.0, 0.0, 0.0}, {3900.0, 3900.0, 3900.0}};
    const PositionQuantizer coarse(beyond, kBound);
    EXPECT_FALSE(coarse.Quantized());
}

TEST(PositionQuantizer, ALongThinBoxIsJudgedByItsLongestAxis) {
    const Box box{{0.0, 0.0, 0.0}, {8000.0, 1.0, 1.0}};
    EXPECT_FALSE(PositionQuantizer(box, kBound).Quantized());
}

TEST(PositionQuantizer, OnePointOrAFlatCloudComesBackExactlyOnItsFlatAxes) {
    const Box flat{{10.0, -5.0, 3.25}, {10.0, 5.0, 3.25}};
    const PositionQuantizer quantizer(flat, kBound);
    ASSERT_TRUE(quantizer.Quantized());
    const std::array<float, 3> back = quantizer.Decode(quantizer.Encode({10.0, 1.0, 3.25}));
    EXPECT_EQ(back[0], 10.0f);
    EXPECT_EQ(back[2], 3.25f);
    EXPECT_NEAR(back[1], 1.0, kBound);
}

TEST(PositionQuantizer, ABoxWithoutFiniteBoundsIsNeverQuantized) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(PositionQuantizer(Box{{0.0, 0.0, 0.0}, {inf, 1.0, 1.0}}, kBound).Quantized());
    EXPECT_FALSE(PositionQuantizer(Box{{0.0, std::nan(""), 0.0}, {1.0, 1.0, 1.0}}, kBound).Quantized());
}

TEST(PositionQuantizer, APositionOutsideTheBoxTakesTheNearestLevel) {
    const Box box{{0.0, 0.0, 0.0}, {100.0, 100.0, 100.0}};
    const PositionQuantizer quantizer(box, kBound);
    const std::array<std::uint16_t, 3> code = quantizer.Encode({-1.0, 101.0, 50.0});
    EXPECT_EQ(code[0], 0);
    EXPECT_EQ(code[1], 65535);
}

// --- base64 -----------------------------------------------------------------

std::string Base64(const std::string& text) {
    std::string out = "prefix:";
    AppendBase64(out, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    return out;
}

TEST(Base64, EncodesTheTestVectorsOfItsStandardAfterWhatWasThere) {
    EXPECT_EQ(Base64(""), "prefix:");
    EXPECT_EQ(Base64("f"), "prefix:Zg==");
    EXPECT_EQ(Base64("fo"), "prefix:Zm8=");
    EXPECT_EQ(Base64("foo"), "prefix:Zm9v");
    EXPECT_EQ(Base64("foob"), "prefix:Zm9vYg==");
    EXPECT_EQ(Base64("fooba"), "prefix:Zm9vYmE=");
    EXPECT_EQ(Base64("foobar"), "prefix:Zm9vYmFy");
}

TEST(Base64, UsesEveryLetterOfItsAlphabetForHighBytes) {
    EXPECT_EQ(Base64(std::string("\xff\xff\xff\x00\x00\x00\xfb\xef\xbe", 9)), "prefix:////AAAA++++");
    EXPECT_EQ(Base64(std::string("\x00\x10\x83\x10\x51\x87", 6)), "prefix:ABCDEFGH");
}

// --- the panel's lines ------------------------------------------------------

TEST(ViewerInfo, NoTextCanEndTheScriptAndEveryStringReadsBackAsItWas) {
    const std::string hostile = "a\"b\\c</script><!--&\x1b\n\x7f";
    const std::string json = InfoObject({{"table", hostile}, {"x<y>", "y"}});
    for (const char c : {'<', '>', '&'}) EXPECT_EQ(json.find(c), std::string::npos) << c;
    for (const char c : {'\n', '\x1b'}) EXPECT_EQ(ScriptString(hostile).find(c), std::string::npos) << int(c);
    const nlohmann::json back = nlohmann::json::parse(json);
    EXPECT_EQ(back.at("table"), hostile);
    EXPECT_EQ(back.at("x<y>"), "y");
    // One member a line, in the lines' order.
    EXPECT_EQ(json.substr(0, 10), "{\"table\": ");
    EXPECT_NE(json.find("\",\n  \"x\\u003cy\\u003e\": \"y\"}"), std::string::npos) << json;
}

TEST(ViewerInfo, AKeyGivenTwiceKeepsItsFirstValueAndBytesNotUtf8StandAsReplacements) {
    EXPECT_EQ(InfoObject({{"a", "1"}, {"b", "2"}, {"a", "3"}}), "{\"a\": \"1\",\n  \"b\": \"2\"}");
    EXPECT_EQ(InfoObject({}), "{}");
    EXPECT_EQ(nlohmann::json::parse(ScriptString("M\xe4rz.txt")), "M\xef\xbf\xbdrz.txt");
}

TEST(ViewerInfo, ThePanelHasTheSummaryLinesAsTheProgramPrintsThem) {
    ScanTable table;
    table.distance = {0.0, 120.0, 80.0};
    table.amplitude = {1.0f, 2.0f, 3.0f};
    table.temperature = {70.0f, 70.0f, 70.0f};
    const ScanAngles angles{{0.0, 0.1, 0.2}, {1.0, 1.0, 1.0}};
    const std::vector<SummaryLine> lines = SummaryLines(table, angles);
    std::vector<std::string> keys;
    for (const SummaryLine& line : lines) keys.push_back(line.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"rows read", "points (rows with range)", "rows without range",
                                              "distance (inches)", "mirror angle", "slow-axis angle"}));
    EXPECT_EQ(lines[3].value, "min 80.00, median 120.00, max 120.00");
    EXPECT_EQ(Summary(table, angles).substr(0, 63),
              "rows read: 3\npoints (rows with range): 2\nrows without range: 1\n");
}

TEST(ViewerInfo, WithLineFiguresTheSummaryNamesTheWeakestLines) {
    ScanTable table;
    table.distance = {120.0};
    const ScanAngles angles{{0.0}, {1.0}};
    std::vector<LineFigures> figures(6);
    for (LineFigures& line : figures) line.withRange = 1.0;
    figures[4].withRange = 0.9999;  // rounded down: not 100.0
    figures[1].withRange = 0.5;
    figures[3].withRange = 0.5;     // as weak as line 1: the earlier first
    figures[5].withRange = 0.25;
    figures[2].lostSamples = figures[5].lostSamples = true;
    const std::string summary = Summary(table, angles, {}, figures);
    EXPECT_NE(summary.find("\nlines with least range: 5 (25.0 %), 1 (50.0 %), 3 (50.0 %)\n"
                           "lines that lost samples: 2, 5\n"),
              std::string::npos)
        << summary;
    for (LineFigures& line : figures) line.withRange = 1.0, line.lostSamples = false;
    figures[0].withRange = 0.9999;
    EXPECT_NE(Summary(table, angles, {}, figures).find("least range: 0 (99.9 %)\nlines that lost samples: none\n"),
              std::string::npos);
    for (LineFigures& line : figures) line.withRange = 1.0;
    EXPECT_NE(Summary(table, angles, {}, figures).find("least range: none: every row of every line has a range\n"),
              std::string::npos);
    // Without figures, no such line.
    EXPECT_EQ(Summary(table, angles).find("least range"), std::string::npos);
}

TEST(ViewerInfo, LineFiguresCountOnlyForTheTableTheyDescribe) {
    ScanFacts facts;
    facts.lineFigures = std::vector<LineFigures>(2);
    facts.table = MetadataFile{"scan.txt", "abc"};
    EXPECT_EQ(LineFiguresOfTable(facts, 10000, "abc").size(), 2u);
    EXPECT_TRUE(LineFiguresOfTable(facts, 10000, "changed").empty());  // the table changed since
    EXPECT_TRUE(LineFiguresOfTable(facts, 15000, "abc").empty());      // a line more than figures
    EXPECT_TRUE(LineFiguresOfTable(facts, 9999, "abc").empty());       // no whole lines
    facts.lineFigures.reset();
    EXPECT_TRUE(LineFiguresOfTable(facts, 10000, "abc").empty());
}

// --- the page ---------------------------------------------------------------

class ViewerPage : public ExportFolder {
protected:
    ViewerPage() : ExportFolder("export-viewer") {}
};

// The page up to its data (style, panel, the viewer's script) is the page
// head of the sources, embedded byte for byte; the data follows at once.
TEST_F(ViewerPage, StartsWithTheEmbeddedHeadThenTheData) {
    const std::string table = SimulatedTable(dir_.Path(), "scan.txt", {"-l", "1"}, {});
    const e2e::ProgramResult result =
        e2e::Execute(VELSCAN_EXPORT_BINARY, {{table, "--html", "scan.html"}, {}, std::nullopt, dir_.Path(),
                                             std::nullopt});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string head(ViewerPageHead());
    ASSERT_FALSE(head.empty());
    EXPECT_EQ(head, e2e::ReadFile(VELSCAN_VIEWER_PAGE_HEAD));
    const std::string page = Read("scan.html");
    ASSERT_GE(page.size(), head.size());
    EXPECT_EQ(page.substr(0, head.size()), head);
    EXPECT_EQ(page.substr(head.size(), 27), "<script>\nvar scanInfo = {\"t");
    // The data carries 5000 points of 6 bytes of position each.
    EXPECT_NE(page.find("\"count\": 5000,"), std::string::npos);
    EXPECT_NE(page.find("\"encoding\": \"uint16\""), std::string::npos);
    // The library and its controls follow the data, the licence notice first.
    const std::size_t licence = page.find("<script type=\"text/plain\" id=\"three-licence\">\n" +
                                          std::string(ThreeJsLicence()) + "</script>\n");
    const std::size_t library = page.find(std::string(ThreeJsLibrary()));
    const std::size_t controls = page.find(std::string(ThreeJsOrbitControls()));
    ASSERT_NE(licence, std::string::npos);
    ASSERT_NE(library, std::string::npos);
    ASSERT_NE(controls, std::string::npos);
    EXPECT_LT(page.find("var cloud = "), licence);
    EXPECT_LT(licence, library);
    EXPECT_LT(library, controls);
    EXPECT_EQ(page.substr(page.size() - 16), "</body>\n</html>\n");
}

}  // namespace
}  // namespace velscan::exporter
