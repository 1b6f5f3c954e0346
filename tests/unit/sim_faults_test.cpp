#include <gtest/gtest.h>

#include <string>

#include "sim/faults.hpp"

namespace velscan {
namespace {

TEST(SimFaults, EveryFaultOfTheListIsRead) {
    const sim::FaultSet faults = sim::ParseFaults(
        "no-laser, no-card,calibration=1001,calibration-silent,fail=0x9c402048,"
        "fail=0x9C402015@3,fail=2621448220,stall@7,stall@4,overflow@2,overflow@5,invalid@0,,");
    EXPECT_TRUE(faults.noLaser);
    EXPECT_TRUE(faults.noCard);
    EXPECT_EQ(faults.calibrationValue, 1001u);
    EXPECT_TRUE(faults.calibrationSilent);
    ASSERT_EQ(faults.controlFaults.size(), 3u);
    EXPECT_EQ(faults.controlFaults[0].code, 0x9c402048u);
    EXPECT_EQ(faults.controlFaults[0].fromIssue, 1u);
    EXPECT_EQ(faults.controlFaults[1].code, 0x9c402015u);
    EXPECT_EQ(faults.controlFaults[1].fromIssue, 3u);
    EXPECT_EQ(faults.controlFaults[2].code, 0x9c40201cu);
    EXPECT_EQ(faults.stallLine, 4u);  // the earlier stall wins
    EXPECT_TRUE(faults.OverflowLine(2) && faults.OverflowLine(5) && !faults.OverflowLine(3));
    EXPECT_TRUE(faults.InvalidLine(0) && !faults.InvalidLine(1));
    EXPECT_TRUE(faults.Any());

    EXPECT_FALSE(sim::ParseFaults("").Any());
    EXPECT_FALSE(sim::ParseFaults(" , ").Any());
}

TEST(SimFaults, WhatCannotBeReadIsRefusedByName) {
    const std::pair<const char*, const char*> cases[] = {
        {"no-lazer", "'no-lazer': unknown fault"},
        {"calibration=8192", "must be 0..8191"},
        {"calibration=", "must be 0..8191"},
        {"fail=", "expected a control code"},
        {"fail=0x1FFFFFFFF", "expected a control code"},
        {"fail=0x9c402048@0", "counts from 1"},
        {"fail=0x9c402048@x", "counts from 1"},
        {"stall@", "decimal number"},
        {"overflow@0x3", "decimal number"},
        {"invalid@-1", "decimal number"},
        {"no-card,stall", "'stall': unknown fault"},
    };
    for (const auto& [list, message] : cases) {
        try {
            sim::ParseFaults(list);
            ADD_FAILURE() << "accepted: " << list;
        } catch (const sim::FaultError& error) {
            const std::string what = error.what();
            EXPECT_EQ(what.rfind("VELSCAN_SIM_FAULTS: ", 0), 0u) << what;
            EXPECT_NE(what.find(message), std::string::npos) << what;
        }
    }
}

}  // namespace
}  // namespace velscan
