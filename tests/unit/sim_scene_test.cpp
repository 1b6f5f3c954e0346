#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>

#include "sim/scene.hpp"

namespace velscan {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(SimScene, TheBuiltInRoomEnclosesTheScannerWithinRange) {
    const sim::Scene room = sim::BuiltInScene();
    double farthest = 0.0;
    for (int i = 0; i < 360; ++i) {
        for (int j = 0; j < 90; ++j) {
            const auto hit = room.CastAtAngles(2.0 * kPi * i / 360.0, 2.0 * kPi * j / 90.0);
            ASSERT_TRUE(hit) << i << " " << j;
            EXPECT_GT(hit->distance, 0.0);
            EXPECT_GT(hit->reflectivity, 0.0);
            EXPECT_GE(hit->cosIncidence, 0.0);
            EXPECT_LE(hit->cosIncidence, 1.0);
            farthest = std::max(farthest, hit->distance);
        }
    }
    EXPECT_LT(farthest, 650.0);

    // Straight ahead over the table to the far wall; straight down to the floor;
    // straight up to the ceiling; half a turn of the slow axis to the back wall.
    EXPECT_NEAR(room.CastAtAngles(0.0, 0.0)->distance, 350.0, 1e-9);
    EXPECT_NEAR(room.CastAtAngles(-kPi / 2, 0.0)->distance, 60.0, 1e-9);
    EXPECT_NEAR(room.CastAtAngles(kPi / 2, 0.0)->distance, 120.0, 1e-9);
    EXPECT_NEAR(room.CastAtAngles(0.0, kPi)->distance, 300.0, 1e-9);
    // Down and forward onto the table top (z = -30) rather than the floor.
    const double down = std::atan2(30.0, 130.0);
    EXPECT_NEAR(room.CastAtAngles(-down, 0.0)->distance, std::hypot(30.0, 130.0), 1e-9);
    EXPECT_NEAR(room.CastAtAngles(-down, 0.0)->reflectivity, 0.8, 0.0);
}

TEST(SimScene, EachShapeOfTheFileFormatIsHitWhereItLies) {
    const sim::Scene scene = sim::ParseScene(
        "# a test scene\n"
        "\n"
        "scanner 0 0 10\n"
        "plane 0 0 2 0 0.5   # the floor, normal not of unit length\n"
        "box 100 -10 0 120 10 20 0.9\n"
        "cylinder 0 200 0 40 20 0.7\n"
        "sphere -100 0 10 10 0.3\r\n",
        "test");
    EXPECT_EQ(scene.scanner.z, 10.0);
    ASSERT_EQ(scene.planes.size(), 1u);
    EXPECT_NEAR(scene.planes[0].normal.z, 1.0, 1e-12);

    EXPECT_NEAR(scene.CastAtAngles(-kPi / 2, 0.0)->distance, 10.0, 1e-9);
    EXPECT_NEAR(scene.CastAtAngles(0.0, 0.0)->distance, 100.0, 1e-9);
    EXPECT_NEAR(scene.CastAtAngles(0.0, 0.0)->cosIncidence, 1.0, 1e-12);
    EXPECT_NEAR(scene.CastAtAngles(0.0, kPi / 2)->distance, 180.0, 1e-9);
    EXPECT_NEAR(scene.CastAtAngles(0.0, kPi)->distance, 90.0, 1e-9);
    EXPECT_NEAR(scene.CastAtAngles(0.0, kPi)->reflectivity, 0.3, 0.0);
    // Upwards there is nothing.
    EXPECT_FALSE(scene.CastAtAngles(kPi / 2, 0.0));
}

TEST(SimScene, ParseErrorsNameTheFileTheLineAndTheProblem) {
    const std::pair<const char*, const char*> cases[] = {
        {"box 0 0 0 1 1 1\n", "line 1: 'box' takes 7 numbers, found 6"},
        {"\n# comment\nsphere 0 0 0 x 1\n", "line 3: 'x' is not a number"},
        {"cube 0 0 0\n", "line 1: unknown item 'cube'"},
        {"box 0 0 0 1 1 1 1.5\n", "line 1: reflectivity must lie from 0 to 1"},
        {"sphere 0 0 0 0 1\n", "line 1: radius must be greater than 0"},
        {"cylinder 0 0 5 5 1 1\n", "line 1: a cylinder needs z0 below z1"},
        {"plane 0 0 0 1 1\n", "line 1: a plane needs a non-zero normal"},
        {"box 0 0 0 0 1 1 1\n", "line 1: a box needs a non-zero size"},
        {"sphere 0 0 0 1e999 1\n", "'1e999' is not a number"},
    };
    for (const auto& [text, message] : cases) {
        try {
            sim::ParseScene(text, "room.scene");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const sim::SceneError& error) {
            const std::string what = error.what();
            EXPECT_EQ(what.rfind("scene file room.scene, ", 0), 0u) << what;
            EXPECT_NE(what.find(message), std::string::npos) << what;
        }
    }
    EXPECT_THROW(sim::LoadSceneFile("/nonexistent/room.scene"), sim::SceneError);
}

TEST(SimScene, TheExampleSceneFileIsTheBuiltInRoom) {
    const auto path = std::filesystem::path(VELSCAN_SOURCE_DIR) /
                      "examples" / "room.scene";
    const sim::Scene file = sim::LoadSceneFile(path.string());
    const sim::Scene room = sim::BuiltInScene();
    for (int i = 0; i < 180; ++i) {
        for (int j = 0; j < 45; ++j) {
            const double mirror = 2.0 * kPi * i / 180.0, slow = 2.0 * kPi * j / 45.0;
            const auto a = file.CastAtAngles(mirror, slow);
            const auto b = room.CastAtAngles(mirror, slow);
            ASSERT_TRUE(a && b);
            EXPECT_EQ(a->distance, b->distance);
            EXPECT_EQ(a->reflectivity, b->reflectivity);
        }
    }
}

}  // namespace
}  // namespace velscan
