// The E57 and npz writers' own guarantees: the CRC-32C of the E57's pages,
// the same bytes for the same table, the acquisition times in GPS time
// across a leap second, names of any bytes in the XML. The files' layout is
// checked by independent readers (check_e57_npz.py: web-e57, numpy).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "export/crc32c.hpp"
#include "export/export_format.hpp"
#include "export/scan_table.hpp"
#include "table_text.hpp"

namespace velscan::exporter {
namespace {

TEST(Crc32c, GivesTheCheckValueAndContinuesAcrossPartsOfEveryLength) {
    // The CRC-32C of "123456789", as every description of it gives it.
    EXPECT_EQ(Crc32c("123456789", 9), 0xE3069283u);
    EXPECT_EQ(Crc32c("", 0), 0u);
    std::string bytes;
    for (int i = 0; i < 1100; ++i) bytes += static_cast<char>((i * 37 + 11) & 0xFF);
    const std::uint32_t whole = Crc32c(bytes.data(), bytes.size());
    // Cut anywhere, so that both the eight-byte steps and the bytes after them are used.
    for (std::size_t cut : {1u, 3u, 7u, 8u, 9u, 500u, 1019u, 1099u})
        EXPECT_EQ(Crc32c(bytes.data() + cut, bytes.size() - cut, Crc32c(bytes.data(), cut)), whole) << cut;
    bytes[600] ^= 1;
    EXPECT_NE(Crc32c(bytes.data(), bytes.size()), whole);
}

struct Scan {
    ScanTable table;
    ScanAngles angles;
};

Scan PatchScan() {
    Scan scan{ParseTable(PatchTable(300, [](std::size_t row) { return row % 5 ? "250.50" : "0.00"; }), "t"), {}};
    scan.angles = ExportAngles(scan.table, false, 0.0, 0.0);
    return scan;
}

std::string Written(const char* option, const ExportJob& job) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    FormatOfOption(option)->write(file.get(), job);
    std::string bytes(static_cast<std::size_t>(std::ftell(file.get())), '\0');
    std::rewind(file.get());
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file.get()), bytes.size());
    return bytes;
}

// The E57's logical bytes: each page's data without its checksum, which must
// be the CRC-32C of the data, most significant byte first.
std::string LogicalBytes(const std::string& e57) {
    EXPECT_EQ(e57.size() % 1024, 0u);
    std::string logical;
    for (std::size_t page = 0; page + 1024 <= e57.size(); page += 1024) {
        const std::uint32_t crc = Crc32c(e57.data() + page, 1020);
        const auto byte = [&](int i) { return static_cast<std::uint8_t>(e57[page + 1020 + static_cast<std::size_t>(i)]); };
        EXPECT_EQ((std::uint32_t{byte(0)} << 24) | (std::uint32_t{byte(1)} << 16) | (std::uint32_t{byte(2)} << 8) | byte(3),
                  crc) << "page " << page / 1024;
        logical.append(e57, page, 1020);
    }
    return logical;
}

// The text of the first element `name` of the XML, or "absent".
std::string ElementText(const std::string& logical, const std::string& name) {
    const std::size_t open = logical.find("<" + name + " ");
    if (open == std::string::npos) return "absent";
    const std::size_t start = logical.find('>', open) + 1;
    return logical.substr(start, logical.find("</" + name + ">", start) - start);
}

ExportJob JobWith(const Scan& scan, const std::string& source, const std::string& sha256,
                  std::optional<std::string> start = std::nullopt, std::optional<std::string> end = std::nullopt) {
    ScanFacts facts;
    facts.programVersion = "9.8.7";
    facts.startTime = std::move(start);
    facts.endTime = std::move(end);
    return ExportJob(scan.table, scan.angles, {}, source, {}, {}, {}, nullptr, {},
                     TableRecord{sha256, facts, "{\"format\": {}}\n"});
}

TEST(E57, TheSameTableGivesTheSameBytesAndItsDigestTheGuids) {
    const Scan scan = PatchScan();
    const std::string digest(64, 'a');
    const std::string first = Written("--e57", JobWith(scan, "t.txt", digest));
    EXPECT_EQ(Written("--e57", JobWith(scan, "t.txt", digest)), first);
    const std::string other = Written("--e57", JobWith(scan, "t.txt", std::string(64, 'b')));
    ASSERT_EQ(other.size(), first.size());
    EXPECT_NE(other, first);
    const std::string logical = LogicalBytes(first);
    EXPECT_EQ(logical.substr(0, 8), "ASTM-E57");
    EXPECT_NE(ElementText(logical, "guid"), ElementText(LogicalBytes(other), "guid"));
    EXPECT_EQ(ElementText(logical, "sensorSoftwareVersion"), "velscan 9.8.7");
    // A table made in memory, without a file's digest, is named by its columns.
    const ExportJob bare(scan.table, scan.angles, {}, "t.txt", {}, {}, {}, nullptr);
    EXPECT_EQ(bare.TableDigest().size(), 64u);
    EXPECT_EQ(Written("--e57", bare), Written("--e57", ExportJob(scan.table, scan.angles, {}, "t.txt", {}, {}, {}, nullptr)));
}

TEST(E57, AcquisitionTimesAreGpsSecondsWithTheLeapSecondsOfTheirDay) {
    const Scan scan = PatchScan();
    const std::string digest(64, 'c');
    // GPS time: from 1980-01-06 00:00 UTC, 17 leap seconds ahead in 2016, 18 from 2017 on.
    const std::string logical = LogicalBytes(
        Written("--e57", JobWith(scan, "t", digest, "2016-12-31T23:59:59.500Z", "2026-12-09T07:30:00.125Z")));
    const std::size_t start = logical.find("<acquisitionStart ");
    const std::size_t end = logical.find("<acquisitionEnd ");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(ElementText(logical.substr(start), "dateTimeValue"), "1167264016.5");
    EXPECT_EQ(ElementText(logical.substr(end), "dateTimeValue"), "1480836618.125");
    const std::string after = LogicalBytes(Written("--e57", JobWith(scan, "t", digest, "2017-01-01T00:00:00.000Z")));
    ASSERT_NE(after.find("<acquisitionStart "), std::string::npos);
    EXPECT_EQ(ElementText(after.substr(after.find("<acquisitionStart ")), "dateTimeValue"), "1167264018");
    // A time that is not one is left out, never guessed.
    const std::string unreadable = LogicalBytes(Written("--e57", JobWith(scan, "t", digest, "yesterday", "2026-13-01T00:00:00.000Z")));
    EXPECT_EQ(unreadable.find("<acquisitionStart "), std::string::npos);
    EXPECT_EQ(unreadable.find("<acquisitionEnd "), std::string::npos);
}

TEST(E57, ANameOfAnyBytesStaysWellFormedXml) {
    const Scan scan = PatchScan();
    const std::string logical =
        LogicalBytes(Written("--e57", JobWith(scan, "a<b&c>\x01\xff\xc3\xa9\xed\xa0\x80.txt", std::string(64, 'd'))));
    // Markup escaped; control bytes, bytes that are not UTF-8 and an encoded surrogate as '?'.
    EXPECT_EQ(ElementText(logical, "name"), "a&lt;b&amp;c&gt;??\xc3\xa9???.txt");
}

TEST(Npz, TheSameTableGivesTheSameBytes) {
    const Scan scan = PatchScan();
    const std::string first = Written("--npz", JobWith(scan, "t", std::string(64, 'e')));
    EXPECT_EQ(Written("--npz", JobWith(scan, "t", std::string(64, 'e'))), first);
    // A stored zip: it ends with the end of its central directory, which counts its members.
    ASSERT_GT(first.size(), 22u);
    EXPECT_EQ(first.substr(first.size() - 22, 4), std::string("PK\x05\x06", 4));
}

TEST(Pose, BothFilesCarryTheJobsPoseBesideThePoints) {
    const Scan scan = PatchScan();
    // Turned 90 degrees about z, the scanner at (10, 20, 30) inches.
    ScanPose pose;
    pose.position = {10.0, 20.0, 30.0};
    pose.orientation = {std::sqrt(0.5), 0.0, 0.0, std::sqrt(0.5)};
    const ExportJob job(scan.table, scan.angles, {}, "t", {}, {}, pose, nullptr, {}, TableRecord{std::string(64, 'f'), {}, {}});

    // The npz's pose.npy (stored): 16 doubles after its .npy header, row after row.
    const std::string npz = Written("--npz", job);
    const std::size_t name = npz.find("pose.npy");
    ASSERT_NE(name, std::string::npos);
    const std::size_t npy = name + 8;
    ASSERT_EQ(npz.substr(npy, 6), "\x93NUMPY");
    const std::size_t headerBytes = static_cast<std::uint8_t>(npz[npy + 8]) | (static_cast<std::uint8_t>(npz[npy + 9]) << 8);
    double matrix[16];
    std::memcpy(matrix, npz.data() + npy + 10 + headerBytes, sizeof matrix);
    const double expected[16] = {0, -1, 0, 10, 1, 0, 0, 20, 0, 0, 1, 30, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(matrix[i], expected[i], 1e-12) << i;

    // The E57's pose: the same rotation, the translation in metres.
    const std::string logical = LogicalBytes(Written("--e57", job));
    const std::string translation = logical.substr(logical.find("<translation "));
    EXPECT_NEAR(std::stod(ElementText(translation, "x")), 0.254, 1e-12);
    EXPECT_NEAR(std::stod(ElementText(translation, "y")), 0.508, 1e-12);
    EXPECT_NEAR(std::stod(ElementText(translation, "z")), 0.762, 1e-12);
    const std::string rotation = logical.substr(logical.find("<rotation "));
    EXPECT_NEAR(std::stod(ElementText(rotation, "w")), std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(std::stod(ElementText(rotation, "z")), std::sqrt(0.5), 1e-15);
}

}  // namespace
}  // namespace velscan::exporter
