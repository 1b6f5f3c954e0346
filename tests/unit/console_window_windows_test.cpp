#include "platform/files/console_window.hpp"

#include <gtest/gtest.h>

namespace velscan::files {
namespace {

// Under the test runner the console (if any) is not the program's own, and
// standard input is no console: a failure ends at once with its exit code
// instead of waiting for a key that never comes.
TEST(HoldConsoleWindowAfterFailure, EndsAtOnceWhenTheConsoleIsNotTheProgramsOwn) {
    EXPECT_EQ(HoldConsoleWindowAfterFailure(0), 0);
    EXPECT_EQ(HoldConsoleWindowAfterFailure(3), 3);
}

}  // namespace
}  // namespace velscan::files
