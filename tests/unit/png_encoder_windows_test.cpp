// The Windows build's PNG encoder: the file it makes is a PNG of the
// picture's size and kind (8-bit grey or RGB, not a format of the codec's
// choosing), and it refuses pictures whose bytes do not match their size.
// The pixels themselves are compared with the native build's by Pillow
// (tests/windows/png_pixels.sh).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/picture/png_encoder.hpp"

namespace velscan::picture {
namespace {

struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bit_depth = 0;
    int colour_type = -1;
};

std::uint32_t BigEndian(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) << 24 | static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 8 | static_cast<std::uint32_t>(bytes[at + 3]);
}

// The signature and the first chunk, which a PNG file must start with.
Header ReadHeader(const std::vector<std::uint8_t>& png) {
    const std::vector<std::uint8_t> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_GE(png.size(), 33u);
    if (png.size() < 33) return {};
    EXPECT_EQ(std::vector<std::uint8_t>(png.begin(), png.begin() + 8), signature);
    EXPECT_EQ(BigEndian(png, 8), 13u);
    EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
    return {BigEndian(png, 16), BigEndian(png, 20), png[24], png[25]};
}

std::vector<std::uint8_t> Ramp(int width, int height, int channels) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height * channels));
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7);
    return pixels;
}

TEST(PngEncoder, RgbPictureIsAnEightBitRgbPngOfItsSize) {
    const auto png = EncodePng(37, 5, 3, Ramp(37, 5, 3));
    const Header header = ReadHeader(png);
    EXPECT_EQ(header.width, 37u);
    EXPECT_EQ(header.height, 5u);
    EXPECT_EQ(header.bit_depth, 8);
    EXPECT_EQ(header.colour_type, 2);  // truecolour without alpha
    // The file ends with its end chunk, so no byte of the stream was left out.
    ASSERT_GE(png.size(), 12u);
    EXPECT_EQ(std::string(png.end() - 8, png.end() - 4), "IEND");
}

TEST(PngEncoder, GreyPictureIsAnEightBitGreyPng) {
    const Header header = ReadHeader(EncodePng(3, 11, 1, Ramp(3, 11, 1)));
    EXPECT_EQ(header.width, 3u);
    EXPECT_EQ(header.height, 11u);
    EXPECT_EQ(header.bit_depth, 8);
    EXPECT_EQ(header.colour_type, 0);
}

TEST(PngEncoder, EncodesTwiceInOneThread) {
    // COM is set up and torn down per picture; the second must not find it broken.
    EXPECT_EQ(EncodePng(2, 2, 3, Ramp(2, 2, 3)), EncodePng(2, 2, 3, Ramp(2, 2, 3)));
}

TEST(PngEncoder, RefusesPixelsThatDoNotMatchTheSize) {
    EXPECT_THROW(EncodePng(4, 4, 3, Ramp(4, 3, 3)), EncodeFailure);
    EXPECT_THROW(EncodePng(0, 4, 3, {}), EncodeFailure);
    EXPECT_THROW(EncodePng(2, 2, 4, Ramp(2, 2, 4)), EncodeFailure);
}

}  // namespace
}  // namespace velscan::picture
