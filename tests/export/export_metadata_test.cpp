// The metadata file beside a table: read when sound, set aside with one
// warning when not, the table's hash checked against it, and its facts in
// the pictures' titles.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>
#include <string>

#include "export/picture_frame.hpp"
#include "export/scan_metadata.hpp"
#include "export_fixture.hpp"
#include "platform/digest/sha256.hpp"

namespace velscan::exporter {
namespace {

// A document laid out as velscan writes it, with `table` standing for the
// table's SHA-256 and `format` for the format member.
std::string Document(const std::string& tableSha256,
                     const std::string& format = R"({ "name": "velscan-scan-metadata", "version": 1 })") {
    return R"({
  "format": )" + format + R"(,
  "describes": "table",
  "program": { "name": "velscan", "version": "0.1.0" },
  "system": "Linux 6.1.0 x86_64",
  "times": { "start": "2026-12-09T07:30:00.123Z", "mirrorReady": "2026-12-09T07:30:20.130Z",
             "end": "2026-12-09T07:31:02.000Z" },
  "commandLine": ["velscan", "scan.txt", "-l", "10"],
  "settings": { "outputFile": "scan.txt", "port": 1, "board": 1, "samplePeriod": 40,
                "lines": 10, "maxRange": 600, "motor": 1, "motorPower": 200 },
  "backend": { "laser": { "kind": "simulated" }, "card": { "kind": "simulated", "scene": null, "seed": 1 } },
  "faults": "overflow@3",
  "clock": "virtual",
  "calibration": { "value": 812, "averagingCount": 1, "encoderCounts": [4096, 200] },
  "lookup": { "name": "LOOKUPHS", "size": 12345, "sha256": null, "sampleRateOffset": 0.0,
              "olderVersionFallback": false },
  "lines": { "asked": 10, "recorded": 9, "withLostSamples": [3, 7] },
  "rows": { "total": 45000, "withoutRange": 120 },
  "table": { "name": "scan.txt", "sha256": ")" + tableSha256 + R"(" },
  "capture": null,
  "end": { "how": "q", "message": null, "exitCode": 0 }
}
)";
}

TEST(Sha256OfFile, MatchesTheKnownDigests) {
    e2e::ScratchDirectory dir("velscan-export-sha");
    std::ofstream(dir.Path() / "abc", std::ios::binary) << "abc";
    std::ofstream(dir.Path() / "empty", std::ios::binary);
    EXPECT_EQ(platform::Sha256HexOfFile((dir.Path() / "abc").string()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(platform::Sha256HexOfFile((dir.Path() / "empty").string()),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(platform::Sha256HexOfFile((dir.Path() / "missing").string()), std::nullopt);
}

// The facts the export uses, read by the one reader of the scan-file layer.
ScanFacts Facts(const std::string& text) {
    MetadataReading reading = ReadMetadataText(text);
    EXPECT_TRUE(reading.facts) << reading.problem;
    return reading.facts.value_or(ScanFacts{});
}

TEST(ExportMetadata, ReadsTheFactsTheExportUses) {
    const ScanFacts m = Facts(Document("ab12"));
    EXPECT_EQ(m.startTime, "2026-12-09T07:30:00.123Z");
    ASSERT_TRUE(m.settings);
    EXPECT_EQ(m.settings->samplePeriod, 40);
    EXPECT_EQ(m.settings->maxRange, 600);
    EXPECT_EQ(m.settings->motorPower, 200);
    EXPECT_EQ(m.linesAsked, 10);
    EXPECT_EQ(m.linesRecorded, 9);
    EXPECT_EQ(m.linesWithLostSamples, (std::vector<std::int32_t>{3, 7}));
    EXPECT_EQ(m.table->sha256, "ab12");
}

TEST(ExportMetadata, NullFactsStayUnknown) {
    std::string text = Document("ab");
    text.replace(text.find("\"samplePeriod\": 40"), 18, "\"samplePeriod\": null");
    const ScanFacts m = Facts(text);
    EXPECT_EQ(m.settings->samplePeriod, std::nullopt);
    EXPECT_EQ(MetadataTitle(m), "2026-12-09 07:30 UTC, -r 600 -p 200, 9 of 10 lines, lost samples in lines 3, 7");
}

TEST(MetadataTitle, ShowsTheDateTheSettingsAndTheLines) {
    EXPECT_EQ(MetadataTitle(Facts(Document("ab"))),
              "2026-12-09 07:30 UTC, -s 40 -r 600 -p 200, 9 of 10 lines, lost samples in lines 3, 7");
    ScanFacts none;
    none.programName.clear();
    EXPECT_EQ(MetadataTitle(none), "");
}

TEST(MetadataTitle, FollowsThePictureTitleEscaped) {
    ScanTable table;
    table.distance = {100.0, 100.0};
    table.amplitude = {1.0f, 1.0f};
    table.temperature = {70.0f, 70.0f};
    ScanAngles angles;
    angles.mirror = {0.0, 0.1};
    angles.slowAxis = {0.0, 0.0};
    const PanoramaLayout layout = ChoosePanorama(table, angles);
    const std::string plain = PictureTitle("scan.txt", table, angles, layout);
    EXPECT_EQ(PictureTitle("scan.txt", table, angles, layout, "-s 40\x1b"), plain + "; -s 40\\x1b");
}

// The program on a table from the simulated instrument, with and without a
// metadata file beside it.
class ExportWithMetadata : public ExportFolder {
protected:
    ExportWithMetadata() : ExportFolder("velscan-export-metadata") {
        table_ = SimulatedTable(dir_.Path(), "scan.txt", {"-l", "1"}, {});
    }
    e2e::ProgramResult Export() const {
        return e2e::Execute(VELSCAN_EXPORT_BINARY,
                            {{"scan.txt", "--png", "scan.png", "--ply", "scan.ply", "--html", "scan.html"}, {}, std::nullopt, dir_.Path(),
                             std::nullopt});
    }
    std::string TableSha() const { return platform::Sha256HexOfFile(table_).value(); }
    std::string table_;
};

TEST_F(ExportWithMetadata, ASoundFileGivesThePictureItsFactsAndNoWarning) {
    ASSERT_EQ(Export().exitCode, 0);
    const std::string without = Read("scan.png");
    Write("scan.txt.json", Document(TableSha()));
    const e2e::ProgramResult result = Export();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_NE(Read("scan.png"), without);  // the title's second part
    // The viewer's panel names the same facts.
    EXPECT_NE(Read("scan.html").find(R"("scan": ")"), std::string::npos);
}

TEST_F(ExportWithMetadata, AStaleHashWarnsOnceAndTheExportGoesOn) {
    Write("scan.txt.json", Document(std::string(64, '0')));
    const e2e::ProgramResult result = Export();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err,
              "velscan-export: Warning: the SHA-256 of scan.txt is not the one its metadata file scan.txt.json "
              "records; the table was changed since the scan\n");
    EXPECT_FALSE(Read("scan.png").empty());
}

TEST_F(ExportWithMetadata, ABrokenFileWarnsOnceAndExportsAsWithoutIt) {
    ASSERT_EQ(Export().exitCode, 0);
    const std::string png = Read("scan.png");
    const std::string ply = Read("scan.ply");
    Write("scan.txt.json", "{ not json");
    const e2e::ProgramResult result = Export();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "velscan-export: Warning: scan.txt.json is not a JSON document; the table is exported "
                          "without it\n");
    EXPECT_EQ(Read("scan.png"), png);
    EXPECT_EQ(Read("scan.ply"), ply);
}

TEST_F(ExportWithMetadata, AFolderOfThatNameIsNotRead) {
    std::filesystem::create_directory(dir_.Path() / "scan.txt.json");
    const e2e::ProgramResult result = Export();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "velscan-export: Warning: scan.txt.json is not a regular file; the table is exported "
                          "without it\n");
}

// The text PLY's vertex lines, after its header.
std::vector<std::vector<std::string>> PlyRows(const std::string& ply) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(ply.substr(ply.find("end_header\n") + 11));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        rows.emplace_back();
        for (std::string word; words >> word;) rows.back().push_back(word);
    }
    return rows;
}

TEST_F(ExportWithMetadata, EveryPointGetsItsTimeAndTheLostMarkOfItsLine) {
    const auto exportText = [this] {
        return e2e::Execute(VELSCAN_EXPORT_BINARY, {{"scan.txt", "--ascii", "--ply", "scan.ply", "--pcd", "scan.pcd"},
                                                    {}, std::nullopt, dir_.Path(), std::nullopt});
    };
    ASSERT_EQ(exportText().exitCode, 0);
    const std::string plainPly = Read("scan.ply");
    const std::string plainPcd = Read("scan.pcd");
    EXPECT_EQ(plainPly.find("scalar_time"), std::string::npos);

    std::string document = Document(TableSha());
    document.replace(document.find("[3, 7]"), 6, "[0]");  // the one recorded line lost samples
    Write("scan.txt.json", document);
    const e2e::ProgramResult result = exportText();
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string ply = Read("scan.ply");
    EXPECT_NE(ply.find("comment scalar_time: seconds since the scan's start 2026-12-09T07:30:00.123Z"),
              std::string::npos);
    EXPECT_NE(ply.find("property int scalar_sample\nproperty double scalar_time\nproperty int scalar_lost\n"),
              std::string::npos);
    const auto rows = PlyRows(ply);
    ASSERT_EQ(rows.size(), PlyRows(plainPly).size());
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 10u);
        const long long line = std::stoll(row[6]), sample = std::stoll(row[7]);
        EXPECT_EQ(std::stod(row[8]), static_cast<double>(line * 5000 + sample) * 40.0 * 1e-6) << row[8];
        EXPECT_EQ(row[9], "1");
    }
    const std::string pcd = Read("scan.pcd");
    EXPECT_NE(pcd.find("scalar_line scalar_sample scalar_time scalar_lost\nSIZE 4 4 4 4 4 4 4 4 8 4\n"
                       "TYPE F F F F F F I I F I\nCOUNT 1 1 1 1 1 1 1 1 1 1\n"),
              std::string::npos);
    EXPECT_EQ(pcd.size() > plainPcd.size(), true);
}

}  // namespace
}  // namespace velscan::exporter
