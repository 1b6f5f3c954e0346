#include "acquisition/measurement_file.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace velscan {
namespace {

namespace fs = std::filesystem;

constexpr char kHeader[] =
    "Distance(inches)\tRaw Range(bits)\tAmplitude\tTemp(F)\tAngle1(radins)\tAngle2(radins\t"
    "Index1\tIndex2\t";

// A file name in the temporary directory, unique to this process and test,
// removed afterwards.
class TemporaryFile {
public:
    TemporaryFile() {
        static std::atomic<int> counter{0};
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = fs::temp_directory_path() /
                ("velscan-" + std::string(test->name()) + "-" +
                 std::to_string(std::random_device{}()) + "-" + std::to_string(++counter) + ".txt");
    }
    ~TemporaryFile() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    std::string name() const { return path_.string(); }
    // The file read back in text mode: the line ends the platform's text mode
    // writes (CR LF on Windows) come back as "\n", so the expected texts hold
    // on every platform. measurement_file_windows_test.cpp checks the raw bytes.
    std::string Text() const {
        std::ifstream in(path_);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    fs::path path_;
};

Measurement Record(double distance, std::uint32_t rawRange, double amplitude, double temperature,
                   double angle1, double angle2, std::uint16_t status) {
    Measurement m{};
    m.distance = distance;
    m.rawRange = rawRange;
    m.amplitude = amplitude;
    m.temperature = temperature;
    m.angle1 = angle1;
    m.angle2 = angle2;
    m.status = status;
    m.auxiliary = 33.0;  // never written
    return m;
}

// The two example rows: a valid sample with both index flags, and an invalid one.
std::vector<Measurement> ExampleRows() {
    return {Record(123.456, 10489, 200.0, TemperatureFromByte(100),
                   1024 * (6.283185307179586 / 4096), 0.0, 12),
            Record(0.0, 0, 17.0, TemperatureFromByte(90), 3.0, 100 * (6.283185307179586 / 200), 4)};
}

TEST(WriteMeasurementRows, LinesZeroOrBelowWritesTheHeaderAloneWithoutLineBreak) {
    const std::vector<Measurement> rows = ExampleRows();
    for (std::int32_t lines : {0, -1, -2147483647 - 1}) {
        TemporaryFile file;
        EXPECT_EQ(WriteMeasurementRows(lines, rows, OutputStream::OpenForWriting(file.name())),
                  WriteResult::Written);
        EXPECT_EQ(file.Text(), kHeader) << lines;
    }
}

TEST(WriteMeasurementRows, WritesTheExampleRowsExactlyAndStopsAtTheEndOfTheRecords) {
    const std::vector<Measurement> rows = ExampleRows();
    ASSERT_EQ(rows[1].angle2, 3.1415926535897936);
    for (std::int32_t lines : {1, 200, 2147483647}) {  // each asks for more rows than there are
        TemporaryFile file;
        EXPECT_EQ(WriteMeasurementRows(lines, rows, OutputStream::OpenForWriting(file.name())),
                  WriteResult::Written);
        EXPECT_EQ(file.Text(), std::string(kHeader) +
                                    "\n123.46\t10489\t200.0\t65.6\t1.5708\t0.0000\t1\t1\t"
                                    "\n0.00\t0\t17.0\t59.6\t3.0000\t3.1416\t1\t0\t");
    }
}

TEST(WriteMeasurementRows, PrintsFieldExtremesAndOnlyIndexBits2And3) {
    const std::vector<Measurement> rows = {
        Record(-0.0, 4294967295u, 255.0, TemperatureFromByte(255), 6588397.315127161, -1e-9,
               0xF3),  // bits 2 and 3 clear, all others set
        Record(0.125, 1, 0.0, TemperatureFromByte(0), 0.00005, 2.5, 0x08)};
    TemporaryFile file;
    EXPECT_EQ(WriteMeasurementRows(1, rows, OutputStream::OpenForWriting(file.name())),
              WriteResult::Written);
    EXPECT_EQ(file.Text(), std::string(kHeader) +
                                "\n-0.00\t4294967295\t255.0\t158.9\t6588397.3151\t-0.0000\t0\t0\t"
                                "\n0.12\t1\t0.0\t5.3\t0.0001\t2.5000\t0\t1\t");
}

// The same rows written by one fprintf per field, as the table is defined.
std::string ReferenceTable(const std::vector<Measurement>& rows) {
    std::FILE* file = std::tmpfile();
    std::fputs(kHeader, file);
    for (const Measurement& m : rows) {
        std::fputs("\n", file);
        std::fprintf(file, "%.2f\t", m.distance);
        std::fprintf(file, "%.0f\t", static_cast<double>(m.rawRange));
        std::fprintf(file, "%.1f\t", m.amplitude);
        std::fprintf(file, "%.1f\t", m.temperature);
        std::fprintf(file, "%.4f\t", m.angle1);
        std::fprintf(file, "%.4f\t", m.angle2);
        std::fprintf(file, "%d\t", (m.status >> 2) & 1);
        std::fprintf(file, "%d\t", (m.status >> 3) & 1);
    }
    std::rewind(file);
    std::string text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
        text.push_back(static_cast<char>(c));
    std::fclose(file);
    return text;
}

TEST(WriteMeasurementRows, ALargeTableMatchesTheFieldByFieldPrintfOutputAcrossBufferChunks) {
    // 60,000 rows are several megabytes: the writer's buffer is sent many times.
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> distance(0.0, 650.0);
    std::vector<Measurement> rows(60000);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = Record(distance(random), static_cast<std::uint32_t>(random()),
                         static_cast<double>(random() % 256),
                         TemperatureFromByte(static_cast<std::uint32_t>(random() % 256)),
                         static_cast<double>(random() % 100000000) * (6.283185307179586 / 4096),
                         static_cast<double>(random() % 200) * (6.283185307179586 / 200),
                         static_cast<std::uint16_t>(random() % 256));
    }
    TemporaryFile file;
    EXPECT_EQ(WriteMeasurementRows(12, rows, OutputStream::OpenForWriting(file.name())),
              WriteResult::Written);
    const std::string bytes = file.Text();
    EXPECT_GT(bytes.size(), std::size_t{2} << 20);
    EXPECT_TRUE(bytes == ReferenceTable(rows));  // not EXPECT_EQ: a diff of megabytes is useless
}

TEST(WriteMeasurementFile, WritesLinesOf5000RecordsFromTheProcessWideArray) {
    const auto array = MeasurementArray();
    ASSERT_EQ(array.size(), 1000000u);
    const Measurement saved[2] = {array[0], array[5000]};
    array[0] = ExampleRows()[0];
    array[5000] = ExampleRows()[1];

    TemporaryFile file;
    const WriteResult result = WriteMeasurementFile(1, OutputStream::OpenForWriting(file.name()));
    array[0] = saved[0];
    array[5000] = saved[1];

    EXPECT_EQ(result, WriteResult::Written);
    std::string expected =
        std::string(kHeader) + "\n123.46\t10489\t200.0\t65.6\t1.5708\t0.0000\t1\t1\t";
    for (int row = 1; row < 5000; ++row) expected += "\n0.00\t0\t0.0\t0.0\t0.0000\t0.0000\t0\t0\t";
    EXPECT_EQ(file.Text(), expected);
}

// A stream opened for reading only: every write to it fails with the stream's
// error flag set, on every platform, without a device that refuses data.
OutputStream ReadOnlyStream(const TemporaryFile& file) {
    std::ofstream(file.name()) << "x";
    return OutputStream(std::fopen(file.name().c_str(), "r"));
}

TEST(WriteMeasurementRows, AFailedWriteIsReportedAsSuch) {
    const TemporaryFile file;
    std::vector<Measurement> rows(5000 * 2, ExampleRows()[0]);  // more than one flush
    ::testing::internal::CaptureStderr();
    const WriteResult result = WriteMeasurementRows(2, rows, ReadOnlyStream(file));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "the caller prints the failure";
    EXPECT_EQ(result, WriteResult::WriteFailed);
    EXPECT_STREQ(WriteFailureLine(result), "Error: Can't write the measurement file\n");
    EXPECT_EQ(file.Text(), "x");
}

// A close that fails needs a stream that takes the writes into its buffer and
// fails at the flush: measurement_file_posix_test.cpp and
// measurement_file_windows_test.cpp make one each.

TEST(WriteMeasurementRows, AStreamThatDidNotOpenIsAWriteFailure) {
    ::testing::internal::CaptureStderr();
    const WriteResult result = WriteMeasurementRows(1, ExampleRows(), OutputStream());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "the caller prints the failure";
    EXPECT_EQ(result, WriteResult::WriteFailed);
    EXPECT_STREQ(WriteFailureLine(result), "Error: Can't write the measurement file\n");
}

TEST(OutputStream, MovesOwnershipAndClosesOnce) {
    TemporaryFile file;
    OutputStream first = OutputStream::OpenForWriting(file.name());
    ASSERT_TRUE(first.IsOpen());
    OutputStream second(std::move(first));
    EXPECT_FALSE(first.IsOpen());  // NOLINT(bugprone-use-after-move): moved-from state is defined
    EXPECT_TRUE(second.Write("ab", 2));
    OutputStream third;
    third = std::move(second);
    EXPECT_FALSE(second.IsOpen());  // NOLINT(bugprone-use-after-move)
    EXPECT_TRUE(third.Write("c", 1));
    EXPECT_TRUE(third.Close());
    EXPECT_FALSE(third.IsOpen());
    EXPECT_FALSE(third.Close());
    EXPECT_EQ(file.Text(), "abc");

    EXPECT_FALSE(OutputStream::OpenForWriting(
                     (fs::temp_directory_path() / "velscan-no-such-dir" / "file.txt").string())
                     .IsOpen());
}

}  // namespace
}  // namespace velscan
