#include "conversion/printable_text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace velscan {
namespace {

TEST(PrintableTextTest, ControlBytesAreEscapedTheRestPasses) {
    EXPECT_EQ(PrintableText("scan.txt"), "scan.txt");
    // An escape sequence that would retitle the terminal, a bell and a DEL.
    EXPECT_EQ(PrintableText("\x1b]0;owned\x07x\x7f"), "\\x1b]0;owned\\x07x\\x7f");
    EXPECT_EQ(PrintableText("a\tb\nc\rd"), "a\\tb\\nc\\rd");
    EXPECT_EQ(PrintableText("C:\\scans\\room.txt"), "C:\\scans\\room.txt");
    EXPECT_EQ(PrintableText(std::string("nul\0end", 7)), "nul\\x00end");
    // UTF-8 stays readable.
    EXPECT_EQ(PrintableText("r\xc3\xa4ume"), "r\xc3\xa4ume");
}

}  // namespace
}  // namespace velscan
