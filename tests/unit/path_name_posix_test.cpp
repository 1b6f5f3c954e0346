// On POSIX a name is bytes: one that is no UTF-8 (a Latin-1 "März") keeps
// every byte in its path and back.
#include <gtest/gtest.h>

#include <string>

#include "platform/files/path_name.hpp"

namespace velscan {
namespace {

TEST(PathNamePosix, BytesThatAreNoUtf8AreKeptAsTheyAre) {
    const std::string latin1 = "M\xE4rz.txt";
    EXPECT_EQ(files::PathOf(latin1).native(), latin1);
    EXPECT_EQ(files::NameOf(files::PathOf(latin1)), latin1);
}

}  // namespace
}  // namespace velscan
