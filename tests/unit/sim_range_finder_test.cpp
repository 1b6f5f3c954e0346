#include <gtest/gtest.h>

#include <string_view>

#include "sim/range_finder.hpp"

namespace velscan {
namespace {

void Send(sim::RangeFinder& finder, std::string_view text) {
    finder.ReceiveSerialBytes(
        {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

TEST(SimRangeFinder, TakesTheProgramsFourCommandsInAnySplit) {
    sim::RangeFinder finder;
    EXPECT_FALSE(finder.Greeted());
    EXPECT_EQ(finder.SamplePeriodUs(), 20u);
    EXPECT_EQ(finder.MaxRangeInches(), 650);

    Send(finder, "I");
    Send(finder, "DA1T");
    Send(finder, "2X3");
    Send(finder, "S23");
    Send(finder, "00\n");
    Send(finder, "F-5\n");
    EXPECT_TRUE(finder.Greeted());
    EXPECT_TRUE(finder.DataFormatSet());
    EXPECT_EQ(finder.SamplePeriodUs(), 2300u);
    EXPECT_EQ(finder.MaxRangeInches(), -5);
}

TEST(SimRangeFinder, IgnoresWhatItDoesNotUnderstand) {
    sim::RangeFinder finder;
    Send(finder, "xyz\r\nDA1T2Y3");         // not the data format command
    Send(finder, "S\n");                    // no digits
    Send(finder, "S0\n");                   // a period of zero
    Send(finder, "S99999999999\n");         // does not fit
    Send(finder, "S12 \n");                 // cut short by a space
    EXPECT_FALSE(finder.DataFormatSet());
    EXPECT_EQ(finder.SamplePeriodUs(), 20u);

    // A command cut short by the start of another: the second one counts.
    Send(finder, "S40F700\n");
    EXPECT_EQ(finder.SamplePeriodUs(), 20u);
    EXPECT_EQ(finder.MaxRangeInches(), 700);
    Send(finder, "DA1S50\n");
    EXPECT_EQ(finder.SamplePeriodUs(), 50u);
    EXPECT_FALSE(finder.Greeted());
}

}  // namespace
}  // namespace velscan
