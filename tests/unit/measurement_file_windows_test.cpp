// The measurement file in Windows text mode: every line break is stored as CR LF,
// and nothing else differs from the table the other platforms write.
#include "acquisition/measurement_file.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace velscan {
namespace {

namespace fs = std::filesystem;

std::string RawBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(MeasurementFileOnWindows, LineBreaksAreStoredAsCarriageReturnLineFeed) {
    Measurement first{};
    first.distance = 123.456;
    first.rawRange = 10489;
    first.amplitude = 200.0;
    first.temperature = TemperatureFromByte(100);
    first.angle1 = 1024 * (6.283185307179586 / 4096);
    first.status = 12;
    Measurement second{};
    second.amplitude = 17.0;
    second.temperature = TemperatureFromByte(90);
    second.angle1 = 3.0;
    second.angle2 = 100 * (6.283185307179586 / 200);
    second.status = 4;
    const std::vector<Measurement> rows = {first, second};

    const fs::path path = fs::temp_directory_path() / "velscan-crlf-table.txt";
    ASSERT_EQ(WriteMeasurementRows(1, rows, OutputStream::OpenForWriting(path.string())),
              WriteResult::Written);
    const std::string bytes = RawBytes(path);
    std::error_code ignored;
    fs::remove(path, ignored);

    EXPECT_EQ(bytes,
              "Distance(inches)\tRaw Range(bits)\tAmplitude\tTemp(F)\tAngle1(radins)\t"
              "Angle2(radins\tIndex1\tIndex2\t"
              "\r\n123.46\t10489\t200.0\t65.6\t1.5708\t0.0000\t1\t1\t"
              "\r\n0.00\t0\t17.0\t59.6\t3.0000\t3.1416\t1\t0\t");
}

TEST(MeasurementFileOnWindows, OnlyLineFeedsGainACarriageReturn) {
    const fs::path path = fs::temp_directory_path() / "velscan-crlf-stream.txt";
    OutputStream stream = OutputStream::OpenForWriting(path.string());
    ASSERT_TRUE(stream.IsOpen());
    EXPECT_TRUE(stream.Write("a\tb\n\nc\r", 7));
    EXPECT_TRUE(stream.Close());
    const std::string bytes = RawBytes(path);
    std::error_code ignored;
    fs::remove(path, ignored);
    EXPECT_EQ(bytes, "a\tb\r\n\r\nc\r");
}

// The header stays in the stream's buffer until the close flushes it, through
// a write stream laid over a file opened for reading only: the close fails and
// must be reported.
TEST(MeasurementFileOnWindows, AFailedCloseIsReported) {
    const fs::path path = fs::temp_directory_path() / "velscan-read-only-table.txt";
    std::ofstream(path) << "x";
    const int readOnly = _open(path.string().c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_GE(readOnly, 0);
    std::FILE* stream = _fdopen(readOnly, "w");
    ASSERT_NE(stream, nullptr);
    ::testing::internal::CaptureStderr();
    const WriteResult result = WriteMeasurementRows(0, {}, OutputStream(stream));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "the caller prints the failure";
    EXPECT_EQ(result, WriteResult::CloseFailed);
    EXPECT_STREQ(WriteFailureLine(result), "Error: Can't close the file\n");
    EXPECT_EQ(RawBytes(path), "x");
    fs::remove(path);
}

}  // namespace
}  // namespace velscan
