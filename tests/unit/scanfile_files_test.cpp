// The table and the capture as the scan-file layer writes and reads them:
// the figures their metadata records are those of the bytes on the disk,
// the rows without range are those the table shows as 0.00, and one size
// rule for captures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#include "platform/digest/sha256.hpp"
#include "scanfile/capture_file.hpp"
#include "scanfile/measurement_table.hpp"

namespace velscan {
namespace {

namespace fs = std::filesystem;

class ScanFileFolder : public ::testing::Test {
protected:
    ScanFileFolder() : dir_(fs::temp_directory_path() / ("velscan-scanfile-" + std::to_string(::getpid()))) {
        fs::create_directories(dir_);
    }
    ~ScanFileFolder() override { fs::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    fs::path dir_;
};

Measurement At(double distance) {
    Measurement row{};
    row.distance = distance;
    return row;
}

TEST(ScanFileRows, WithoutRangeIsExactlyWhatPrintsAsZeroWithTwoDecimals) {
    // The edges of the rule: the doubles next to 0.005 on both sides and of
    // both signs, zero of both signs, the values that print "nan" and "inf".
    const double half = 0.005;
    const double below = std::nextafter(half, 0.0);
    std::vector<Measurement> rows;
    for (double d : {0.0, -0.0, below, -below, half, -half, std::nextafter(half, 1.0), 0.004999, 0.01, -1.0, 308.49,
                     std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::denorm_min()})
        rows.push_back(At(d));
    // What a reader of the written field makes of it.
    std::uint64_t printedAsZero = 0;
    for (const Measurement& row : rows) {
        char text[64];
        std::snprintf(text, sizeof text, "%.2f", row.distance);
        if (std::strtod(text, nullptr) == 0.0) ++printedAsZero;
    }
    EXPECT_EQ(RowsWithoutRange(rows), printedAsZero);
    EXPECT_EQ(printedAsZero, 6u);  // the two zeros, ±below, 0.004999 and the smallest double
    EXPECT_TRUE(ShowsNoRange(below));
    EXPECT_FALSE(ShowsNoRange(half));
}

TEST_F(ScanFileFolder, TheTablesFiguresAreThoseOfTheBytesOnTheDisk) {
    std::vector<Measurement> rows(2 * kSamplesPerLine);
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = At(i % 3 == 0 ? 0.0 : 100.0 + static_cast<double>(i));
    TableFigures figures;
    ASSERT_EQ(WriteMeasurementRows(2, rows, OutputStream::OpenForWriting(Path("t.txt")), &figures),
              WriteResult::Written);
    EXPECT_EQ(figures.rows, rows.size());
    EXPECT_EQ(figures.rowsWithoutRange, (rows.size() + 2) / 3);
    EXPECT_EQ(figures.sha256, platform::Sha256HexOfFile(Path("t.txt")));

    // A stream that fails gives no digest.
    TableFigures failed;
    EXPECT_NE(WriteMeasurementRows(2, rows, OutputStream(std::fopen("/dev/full", "w")), &failed),
              WriteResult::Written);
    EXPECT_EQ(failed.sha256, "");
}

TEST_F(ScanFileFolder, TheCapturesRecordsAndDigestAreCountedAsTheyGoOut) {
    std::vector<RawSample> records(45);
    for (std::size_t i = 0; i < records.size(); ++i) records[i] = RawSample{static_cast<std::uint32_t>(i), 1, 2, 3};
    {
        CaptureFile capture(Path("cap.bin"));
        capture.Append(std::as_bytes(std::span(records).first(20)));
        capture.Append(std::as_bytes(std::span(records).subspan(20)));
        EXPECT_FALSE(capture.Figures());  // not before it is finished
        EXPECT_EQ(capture.Finish(), "");
        ASSERT_TRUE(capture.Figures());
        EXPECT_EQ(capture.Figures()->records, 45u);
        EXPECT_EQ(capture.Figures()->sha256, platform::Sha256HexOfFile(Path("cap.bin")));
    }
    const CaptureReading read = ReadCaptureFile(Path("cap.bin"));
    ASSERT_EQ(read.failure, CaptureReading::Failure::None);
    ASSERT_EQ(read.records.size(), 45u);
    EXPECT_EQ(read.records[44].statusWord, 44u);
    EXPECT_EQ(read.sha256, platform::Sha256HexOfFile(Path("cap.bin")));

    // A device is no file to describe.
    CaptureFile device("/dev/null");
    device.Append(std::as_bytes(std::span(records)));
    EXPECT_EQ(device.Finish(), "");
    EXPECT_FALSE(device.Figures());
}

// The capture kept beside a table is made only when sampling starts: until
// then an earlier file of its name stays as it was, and a capture never
// begun is no file at all.
TEST_F(ScanFileFolder, ACaptureOpenedOnBeginLeavesAnEarlierFileUntilThen) {
    std::vector<RawSample> records(25);
    for (std::size_t i = 0; i < records.size(); ++i) records[i].statusWord = static_cast<std::uint16_t>(i);
    std::ofstream(Path("kept.bin"), std::ios::binary) << "earlier capture";
    {
        CaptureFile never(Path("kept.bin"), CaptureFile::Opening::OnBegin);
        never.Append(std::as_bytes(std::span(records).first(20)));
        EXPECT_EQ(never.Finish(), "");
        EXPECT_FALSE(never.Figures());
    }
    EXPECT_EQ(ReadFile(Path("kept.bin")), "earlier capture");

    CaptureFile capture(Path("kept.bin"), CaptureFile::Opening::OnBegin);
    capture.Append(std::as_bytes(std::span(records).first(20)));
    EXPECT_EQ(ReadFile(Path("kept.bin")), "earlier capture");
    EXPECT_EQ(capture.Begin(), "");
    capture.Append(std::as_bytes(std::span(records).subspan(20)));
    EXPECT_EQ(capture.Finish(), "");
    ASSERT_TRUE(capture.Figures());
    EXPECT_EQ(capture.Figures()->records, 25u);
    const CaptureReading read = ReadCaptureFile(Path("kept.bin"));
    ASSERT_EQ(read.records.size(), 25u);
    EXPECT_EQ(read.records[24].statusWord, 24u);

    CaptureFile nowhere(Path("no/such/folder/cap.bin"), CaptureFile::Opening::OnBegin);
    // The reason is the system's own words, which differ between systems.
    const std::string told = nowhere.Begin();
    const std::string prefix = "Error: Can't create the file " + Path("no/such/folder/cap.bin") + ": ";
    EXPECT_TRUE(told.starts_with(prefix) && told.size() > prefix.size() + 1 && told.ends_with("\n") &&
                told.find('\n') == told.size() - 1)
        << told;
    EXPECT_EQ(nowhere.Finish(), "");  // told once, by Begin
}

TEST_F(ScanFileFolder, OneSizeRuleForEveryCaptureReader) {
    std::ofstream(Path("odd.bin"), std::ios::binary) << std::string(33, 'x');
    const CaptureReading odd = ReadCaptureFile(Path("odd.bin"));
    EXPECT_EQ(odd.failure, CaptureReading::Failure::NotWholeRecords);
    // A capture cut inside a record still gives its whole records.
    EXPECT_EQ(odd.records.size(), 2u);
    EXPECT_EQ(odd.partRecordBytes, 1u);
    EXPECT_EQ(ReadCaptureFile(Path("missing.bin")).failure, CaptureReading::Failure::Unreadable);
    std::ofstream(Path("large.bin"), std::ios::binary).close();
    fs::resize_file(Path("large.bin"), kMaxCaptureBytes + kRawSampleBytes);
    const CaptureReading large = ReadCaptureFile(Path("large.bin"));
    EXPECT_EQ(large.failure, CaptureReading::Failure::Unreadable);
    EXPECT_EQ(large.reason, "larger than 67108864 bytes");
    fs::resize_file(Path("large.bin"), kMaxCaptureBytes);
    EXPECT_EQ(ReadCaptureFile(Path("large.bin")).records.size(), kMaxCaptureBytes / kRawSampleBytes);
}

}  // namespace
}  // namespace velscan
