// What a run's metadata records, at the level of the gathering helpers: the
// time stamps, the backend's description, the end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "acquisition/exit_codes.hpp"
#include "acquisition/run_facts.hpp"
#include "platform/system_facts.hpp"

namespace velscan {
namespace {

using ::testing::Optional;
using ::testing::StrEq;
using std::chrono::milliseconds;
using std::chrono::system_clock;

TEST(RunFactsTimes, StampsAreUtcWithMillisecondsAndRoundDown) {
    EXPECT_EQ(platform::UtcTimestamp(system_clock::time_point(milliseconds(1796801400123))),
              "2026-12-09T07:30:00.123Z");
    // A microsecond short of the next second stays in this one.
    EXPECT_EQ(platform::UtcTimestamp(system_clock::time_point(
                  std::chrono::microseconds(951782399999999))),
              "2000-02-28T23:59:59.999Z");
    EXPECT_EQ(platform::UtcTimestamp(system_clock::time_point(milliseconds(951782400000))),
              "2000-02-29T00:00:00.000Z");  // a leap day
    EXPECT_EQ(platform::UtcTimestamp(system_clock::time_point(milliseconds(-1))),
              "1969-12-31T23:59:59.999Z");
}

TEST(RunFactsTimes, TheSystemIsDescribed) {
    EXPECT_FALSE(platform::SystemDescription().empty());
}

TEST(RunFactsBackend, EachChoiceIsDescribedWithWhatItOpens) {
    BackendPlan plan;
    plan.laser = LaserChoice::Device;
    plan.laserDevice = "/dev/pts/7";
    plan.card = CardChoice::Simulated;
    // A move: the cross compiler's -Wrestrict wrongly fails a one-letter copy.
    plan.simSeed = std::string("7");
    const MetadataBackendPart laser = LaserFacts(plan, 1);
    EXPECT_THAT(laser.path, Optional(StrEq("/dev/pts/7")));
    EXPECT_EQ(LaserFacts(plan, 1).kind, "port");
    const MetadataBackendPart card = CardFacts(plan);
    EXPECT_EQ(card.kind, "simulated");
    EXPECT_EQ(card.seed, 7u);
    EXPECT_FALSE(card.scene.has_value());

    plan.laser = LaserChoice::Missing;
    plan.card = CardChoice::Replay;
    plan.cardPath.assign("no/such/capture.bin");
    EXPECT_FALSE(LaserFacts(plan, 1).path.has_value());
    const MetadataBackendPart replay = CardFacts(plan);
    EXPECT_EQ(replay.kind, "replay");
    EXPECT_THAT(replay.path, Optional(StrEq("no/such/capture.bin")));
    EXPECT_FALSE(replay.sha256.has_value());  // it cannot be read: no digest invented
}

TEST(RunFactsEnd, TheExitCodeAndTheStopSayHowTheRunEnded) {
    EXPECT_EQ(EndFacts(kExitSuccess, false, "").how, "complete");
    EXPECT_EQ(EndFacts(kExitSuccess, true, "").how, "q");
    EXPECT_EQ(EndFacts(kExitStoppedBeforeSampling, false, "").how, "q");
    const MetadataEnd failed = EndFacts(kExitRunFailed, false, "Error: VexaOpen failed.");
    EXPECT_EQ(failed.how, "failure");
    EXPECT_THAT(failed.message, Optional(StrEq("Error: VexaOpen failed.")));
    EXPECT_EQ(failed.exitCode, kExitRunFailed);
    EXPECT_FALSE(EndFacts(kExitSuccess, false, "Error: not a failure").message.has_value());
}

}  // namespace
}  // namespace velscan
