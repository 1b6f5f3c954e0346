#include <gtest/gtest.h>

#include "cardlib/vexa.hpp"

namespace velscan {
namespace {

TEST(BoardCheck, RefusesIndicesBeyondTheTableAndSlotsNeverOpened) {
    VexaInitBoards();
    EXPECT_EQ(CheckedBoard(0), nullptr);
    EXPECT_EQ(CheckedBoard(5), nullptr);
    EXPECT_EQ(CheckedBoard(static_cast<std::uint32_t>(-1)), nullptr);
}

}  // namespace
}  // namespace velscan
