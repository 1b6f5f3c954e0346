// Windows lets a name hold UTF-16 code units that are no letter (a lone
// surrogate); its UTF-8 name keeps the rest of it, with U+FFFD in their
// place, instead of failing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/files/path_name.hpp"

namespace velscan {
namespace {

TEST(PathNameWindows, ALoneSurrogateBecomesTheReplacementCharacter) {
    const std::filesystem::path path(std::wstring{L'a', wchar_t(0xD800), L'b', wchar_t(0xDC00)});
    EXPECT_EQ(files::NameOf(path), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

}  // namespace
}  // namespace velscan
