// The measurement file in Windows text mode: every line break is stored as CR LF,
// and nothing else differs from the table the other platforms write.
#include "acquisition/measurement_file.hpp"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace velscan
