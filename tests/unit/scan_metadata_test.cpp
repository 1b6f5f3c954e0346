// The metadata document's layout: members in the documented order, unknown
// facts as null, and the reconversion's member only where there is one.

#include <gtest/gtest.h>

#include "scanfile/scan_metadata.hpp"

namespace {

using velscan::MetadataDescribes;
using velscan::MetadataDocument;
using velscan::ScanFacts;

std::vector<std::string> Keys(const nlohmann::ordered_json& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items()) keys.push_back(item.key());
    return keys;
}

TEST(ScanMetadata, ARunThatEndedEarlyWritesNullForWhatItNeverLearnt) {
    ScanFacts facts;
    facts.programVersion = "1.2.3";
    facts.commandLine = {"velscan", "scan.txt"};
    facts.end = velscan::MetadataEnd{"failure", "Error: Could not get calibration value", 3};
    const auto document = MetadataDocument(facts, MetadataDescribes::Capture);

    EXPECT_EQ(Keys(document),
              (std::vector<std::string>{"format", "describes", "program", "system", "times",
                                        "commandLine", "settings", "backend", "faults", "clock",
                                        "calibration", "lookup", "lines", "rows", "table",
                                        "capture", "end"}));
    EXPECT_EQ(document["format"]["name"], "velscan-scan-metadata");
    EXPECT_EQ(document["format"]["version"], 1);
    EXPECT_EQ(document["describes"], "capture");
    EXPECT_TRUE(document["times"]["mirrorReady"].is_null());
    EXPECT_TRUE(document["settings"].is_null());
    EXPECT_TRUE(document["calibration"]["value"].is_null());
    EXPECT_EQ(document["calibration"]["encoderCounts"], nlohmann::ordered_json::parse("[null,null]"));
    EXPECT_TRUE(document["table"].is_null());
    EXPECT_EQ(document["end"]["message"], "Error: Could not get calibration value");
    EXPECT_EQ(document["end"]["exitCode"], 3);
}

TEST(ScanMetadata, EachBackendPartNamesWhatIdentifiesIt) {
    ScanFacts facts;
    facts.laser = velscan::MetadataBackendPart{"port", "COM3", {}, {}, {}};
    facts.card = velscan::MetadataBackendPart{"replay", "cap.bin", {}, {}, "ab"};
    auto document = MetadataDocument(facts, MetadataDescribes::Table);
    EXPECT_EQ(document["backend"]["laser"].dump(), R"({"kind":"port","port":"COM3"})");
    EXPECT_EQ(document["backend"]["card"].dump(), R"({"kind":"replay","path":"cap.bin","sha256":"ab"})");

    facts.card = velscan::MetadataBackendPart{"simulated", {}, {}, 42, {}};
    facts.reconverted = velscan::MetadataReconversion{};
    document = MetadataDocument(facts, MetadataDescribes::Table);
    EXPECT_EQ(document["backend"]["card"].dump(), R"({"kind":"simulated","scene":null,"seed":42})");
    EXPECT_EQ(Keys(document).back(), "reconverted");
    EXPECT_TRUE(document["reconverted"]["identicalToRecorded"].is_null());
}

}  // namespace
