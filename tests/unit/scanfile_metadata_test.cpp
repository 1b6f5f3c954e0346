// The metadata document through its one writer and its one reader: every
// member comes back, a file written before keeps its bytes, the version rule
// is the same for every program, and a name of any bytes is kept.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "scanfile/scan_metadata.hpp"

namespace velscan {
namespace {

std::string ReadExample(const std::string& name) {
    const char* dir = std::getenv("VELSCAN_TEST_EXAMPLES_DIR");
    EXPECT_NE(dir, nullptr);
    std::ifstream in(std::filesystem::path(dir != nullptr ? dir : ".") / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every member known and none at its default, so that a member the reader
// dropped shows.
ScanFacts EveryMemberKnown() {
    ScanFacts f;
    f.programName = "velscan-reconvert";
    f.programVersion = "9.8.7";
    f.system = "Linux 6.1.0 x86_64";
    f.startTime = "2026-12-09T07:30:00.123Z";
    f.mirrorReadyTime = "2026-12-09T07:30:20.130Z";
    f.endTime = "2026-12-09T07:31:02.000Z";
    f.commandLine = {"velscan", "scan.txt", "-l", "10"};
    f.settings = MetadataSettings{"scan.txt", 2, 3, 40, 10, 600, 2, 200};
    f.laser = MetadataBackendPart{"port", "/dev/pts/9", {}, {}, {}};
    f.card = MetadataBackendPart{"replay", "cap.bin", {}, {}, std::string(64, 'a')};
    f.faults = "overflow@3";
    f.clock = "virtual";
    f.calibrationValue = 812;
    f.averagingCount = 4;
    f.encoderCounts = {4096u, 200u};
    f.lookup = MetadataLookup{"LOOKUPHS", 12345u, std::string(64, 'b'), 1.25, true};
    f.linesAsked = 10;
    f.linesRecorded = 9;
    f.linesWithLostSamples = {3, 7};
    f.rows = 45000u;
    f.rowsWithoutRange = 120u;
    f.table = MetadataFile{"scan.txt", std::string(64, 'c')};
    f.capture = MetadataCapture{"cap.bin", 1000020u, std::string(64, 'd'), 20u};
    f.end = MetadataEnd{"failure", "Error: Could not get calibration value", 3};
    f.reconverted = MetadataReconversion{"cap.bin", std::string(64, 'd'), "cap.bin.json", std::string(64, 'b'),
                                         std::string(64, 'e'), false, std::string(64, 'c'), true,
                                         MetadataCutShort{37, 1234u, 9u}};
    return f;
}

TEST(ScanFileMetadata, WhatTheWriterWritesTheReaderGivesBack) {
    const ScanFacts written = EveryMemberKnown();
    const MetadataReading reading = ReadMetadataText(MetadataText(written, MetadataDescribes::Capture));
    ASSERT_TRUE(reading.facts) << reading.problem;
    EXPECT_EQ(reading.describes, MetadataDescribes::Capture);
    const ScanFacts& read = *reading.facts;
    EXPECT_EQ(read.programName, written.programName);
    EXPECT_EQ(read.settings->motorPower, 200);
    EXPECT_EQ(read.laser->path, "/dev/pts/9");
    EXPECT_EQ(read.card->sha256, written.card->sha256);
    EXPECT_EQ(read.encoderCounts[1], 200u);
    EXPECT_EQ(read.lookup.sampleRateOffset, 1.25);
    EXPECT_TRUE(read.lookup.olderVersionFallback);
    EXPECT_EQ(read.linesWithLostSamples, (std::vector<std::int32_t>{3, 7}));
    EXPECT_EQ(read.capture->records, 1000020u);
    EXPECT_EQ(read.end->message, written.end->message);
    EXPECT_EQ(read.reconverted->identicalToRecorded, true);
    // Every other member: the facts read write the same document again.
    EXPECT_EQ(MetadataText(read, MetadataDescribes::Capture), MetadataText(written, MetadataDescribes::Capture));

    // Unknown facts stay unknown, and a simulated card keeps its scene and seed.
    ScanFacts sparse;
    sparse.card = MetadataBackendPart{"simulated", {}, "room.scene", 42u, {}};
    const MetadataReading again = ReadMetadataText(MetadataText(sparse, MetadataDescribes::Table));
    ASSERT_TRUE(again.facts);
    EXPECT_FALSE(again.facts->settings);
    EXPECT_FALSE(again.facts->calibrationValue);
    EXPECT_FALSE(again.facts->reconverted);
    EXPECT_EQ(again.facts->card->scene, "room.scene");
    EXPECT_EQ(again.facts->card->seed, 42u);
}

TEST(ScanFileMetadata, ATablesLineFiguresComeBackAndACaptureHasNone) {
    ScanFacts facts;
    facts.lineFigures = std::vector<LineFigures>{
        {0.25, 10.5, 20.25, 30.125, 12.5, 88.1, 19.75, true},
        {0.0, std::nullopt, std::nullopt, std::nullopt, 3.0, 87.5, std::nullopt, false}};
    const std::string text = MetadataText(facts, MetadataDescribes::Table);
    const auto document = nlohmann::json::parse(text);
    ASSERT_EQ(document["lineFigures"].size(), 2u);
    EXPECT_TRUE(document["lineFigures"][1]["distanceMedian"].is_null());
    const MetadataReading reading = ReadMetadataText(text);
    ASSERT_TRUE(reading.facts && reading.facts->lineFigures) << reading.problem;
    const std::vector<LineFigures>& read = *reading.facts->lineFigures;
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].distanceP95, 30.125);
    EXPECT_EQ(read[0].mirrorTurnsPerSecond, 19.75);
    EXPECT_TRUE(read[0].lostSamples);
    EXPECT_FALSE(read[1].distanceP5);
    EXPECT_EQ(read[1].meanTemperature, 87.5);
    EXPECT_EQ(MetadataText(*reading.facts, MetadataDescribes::Table), text);
    // A capture's document leaves them out; a file without them has none known.
    EXPECT_FALSE(nlohmann::json::parse(MetadataText(facts, MetadataDescribes::Capture)).contains("lineFigures"));
    EXPECT_FALSE(ReadMetadataText(MetadataText(ScanFacts{}, MetadataDescribes::Table)).facts->lineFigures);
}

TEST(ScanFileMetadata, AVersionOneFileWrittenBeforeReadsAndWritesTheSameBytes) {
    const std::string before = ReadExample("scan.txt.json");
    ASSERT_FALSE(before.empty());
    const MetadataReading reading = ReadMetadataText(before);
    ASSERT_TRUE(reading.facts) << reading.problem;
    EXPECT_EQ(MetadataText(*reading.facts, MetadataDescribes::Table), before);
}

TEST(ScanFileMetadata, OneVersionRuleForEveryReader) {
    const std::string text = MetadataText(ScanFacts{}, MetadataDescribes::Table);
    const auto withVersion = [&text](const std::string& version) {
        std::string changed = text;
        changed.replace(changed.find("\"version\": 1"), 12, version);
        return ReadMetadataText(changed);
    };
    for (const char* bad : {"\"version\": 0", "\"version\": -1", "\"version\": 1.0", "\"version\": \"1\"",
                                   "\"version\": null", "\"other\": 1"}) {
        const MetadataReading reading = withVersion(bad);
        EXPECT_FALSE(reading.facts) << bad;
        EXPECT_EQ(reading.problem, "has no valid format version") << bad;
    }
    EXPECT_EQ(withVersion("\"version\": 2").problem, "is of format version 2, later than this program's 1");
    EXPECT_TRUE(withVersion("\"version\": 1").facts);
    EXPECT_EQ(ReadMetadataText("{ \"format\": ").problem, "is not a JSON document");
    EXPECT_EQ(ReadMetadataText("[1]").problem, "is not a JSON document");
    EXPECT_EQ(ReadMetadataText(R"({"format": {"name": "other", "version": 1}})").problem,
              "is not a velscan metadata file");
}

TEST(ScanFileMetadata, ANameOfAnyBytesIsKept) {
    std::string everyByte;
    for (int byte = 1; byte <= 255; ++byte)
        if (byte != '/') everyByte.push_back(static_cast<char>(byte));
    const std::string latin1 = "M\xe4rz.txt";
    const std::string utf8 = "M\xc3\xa4rz.txt";

    // Valid UTF-8 stands as a string, anything else as its bytes in hex.
    EXPECT_EQ(KeptText(utf8), utf8);
    EXPECT_EQ(KeptText(latin1).dump(), R"({"bytes":"4de4727a2e747874"})");
    EXPECT_EQ(KeptTextOf(KeptText(everyByte)), everyByte);
    EXPECT_EQ(KeptTextOf(nlohmann::ordered_json{{"bytes", "4G"}}), std::nullopt);
    EXPECT_EQ(KeptTextOf(nlohmann::ordered_json{{"bytes", "4"}}), std::nullopt);

    ScanFacts facts;
    facts.commandLine = {"velscan", everyByte, latin1, utf8};
    facts.settings = MetadataSettings{everyByte, 1, 1, 20, 1, 650, 1, 255};
    facts.table = MetadataFile{everyByte, "ab"};
    facts.faults = latin1;
    const std::string text = MetadataText(facts, MetadataDescribes::Table);
    const MetadataReading reading = ReadMetadataText(text);
    ASSERT_TRUE(reading.facts) << reading.problem;
    EXPECT_EQ(reading.facts->commandLine, facts.commandLine);
    EXPECT_EQ(reading.facts->settings->outputFile, everyByte);
    EXPECT_EQ(reading.facts->table->name, everyByte);
    EXPECT_EQ(reading.facts->faults, latin1);
}

}  // namespace
}  // namespace velscan
