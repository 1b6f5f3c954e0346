// The instrument profile and the scan's pose: the profile's refusals by both
// programs, the profile and pose velscan records (and velscan-reconvert
// keeps) applied by velscan-export with no option typed, typed options
// overriding them, and the pose's text and matrix rules.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "export/scan_pose.hpp"
#include "export_fixture.hpp"
#include "program_run.hpp"
#include "scanfile/instrument_profile.hpp"
#include "scanfile/site_pose.hpp"

namespace velscan::exporter {
namespace {

namespace fs = std::filesystem;

const std::string kProfile =
    R"({"format": {"name": "velscan-instrument-profile", "version": 1}, "mirrorOffset": 0.25,
        "slowOffset": -0.125, "instrument": "a member a later version adds"})";

class ProfileAndPose : public ExportFolder {
protected:
    ProfileAndPose() : ExportFolder("export-profile") {}
    e2e::ProgramResult Velscan(const std::string& table, std::map<std::string, std::string> environment) {
        fs::copy_file(VELSCAN_LOOKUP_FILE, dir_.Path() / "LOOKUPHS", fs::copy_options::overwrite_existing);
        environment.emplace("VELSCAN_SIM", "1");
        environment.emplace("VELSCAN_CLOCK", "virtual");
        return e2e::Execute(VELSCAN_BINARY, {{table, "-l", "2"}, environment, std::nullopt, dir_.Path(), std::nullopt});
    }
    e2e::ProgramResult Export(std::vector<std::string> arguments) {
        return e2e::Execute(VELSCAN_EXPORT_BINARY, {arguments, {}, std::nullopt, dir_.Path(), std::nullopt});
    }
    std::vector<std::string> Lines(const std::string& name) const {
        std::vector<std::string> lines;
        std::istringstream text(Read(name));
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        return lines;
    }
};

TEST_F(ProfileAndPose, AnUnusableProfileIsRefusedByBothProgramsInOneLineBeforeAnythingIsWritten) {
    struct Case {
        const char* what;
        std::optional<std::string> bytes;  // unset: no such file
        std::string problem;
    };
    const std::string head = R"({"format": {"name": "velscan-instrument-profile", "version": 1}, )";
    const std::vector<Case> cases = {
        {"missing", std::nullopt, "p.json cannot be read: no such file or directory"},
        {"not JSON", "mirrorOffset = 0.1", "p.json is not a JSON document"},
        {"an array", "[0.1, 0.2]", "p.json is not a JSON document"},
        {"another format", R"({"format": {"name": "velscan-scan-metadata", "version": 1}})",
         "p.json is not a velscan instrument profile (no format \"velscan-instrument-profile\")"},
        {"later version", R"({"format": {"name": "velscan-instrument-profile", "version": 2}})",
         "p.json is of format version 2, which this program does not read (it reads 1)"},
        {"no version", R"({"format": {"name": "velscan-instrument-profile"}})", "p.json has no valid format version"},
        {"offset missing", head + R"("mirrorOffset": 0.1})", "p.json has no number \"slowOffset\""},
        {"offset as text", head + R"("mirrorOffset": "0.1", "slowOffset": 0})",
         "p.json has no number \"mirrorOffset\""},
        {"offset beyond a double", head + R"("mirrorOffset": 1e999, "slowOffset": 0})",
         "p.json is not a JSON document"},
        {"too large", head + R"("mirrorOffset": 0, "slowOffset": 0, "pad": ")" + std::string(70000, 'x') + "\"}",
         "p.json cannot be read: larger than 65536 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir_.Path() / "p.json");
        if (c.bytes) Write("p.json", *c.bytes);
        const e2e::ProgramResult scan = Velscan("scan.txt", {{"VELSCAN_PROFILE", "p.json"}});
        EXPECT_EQ(scan.exitCode, 2);
        EXPECT_EQ(scan.err, "Error: VELSCAN_PROFILE: " + c.problem + ".\n");
        EXPECT_FALSE(fs::exists(dir_.Path() / "scan.txt"));

        Write("t.txt", "");  // the profile is refused before the table is judged
        const e2e::ProgramResult exported = Export({"t.txt", "--profile", "p.json", "--ply", "o.ply"});
        EXPECT_EQ(exported.exitCode, 3);
        EXPECT_EQ(exported.err, "velscan-export: the profile " + c.problem + " (--profile)\n");
        EXPECT_FALSE(fs::exists(dir_.Path() / "o.ply"));
    }
}

TEST_F(ProfileAndPose, WhatVelscanRecordsIsAppliedWithNoOptionAndTypedOptionsOverrideIt) {
    Write("lab.json", kProfile);
    const e2e::ProgramResult scan = Velscan(
        "scan.txt",
        {{"VELSCAN_PROFILE", "lab.json"}, {"VELSCAN_POSE", "1.5,-2,0.25,90"}, {"VELSCAN_CAPTURE", "scan.cap"}});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    // The capture converted again is the same scan, placed the same way.
    const e2e::ProgramResult again =
        e2e::Execute(VELSCAN_RECONVERT_BINARY, {{"scan.cap", "again.txt"}, {}, std::nullopt, dir_.Path(), std::nullopt});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    const auto againMetadata = nlohmann::json::parse(Read("again.txt.json"));

    const auto metadata = nlohmann::json::parse(Read("scan.txt.json"));
    EXPECT_EQ(metadata["profile"]["name"], "lab.json");
    EXPECT_EQ(metadata["profile"]["sha256"].get<std::string>().size(), 64u);
    EXPECT_EQ(metadata["profile"]["mirrorOffset"], 0.25);
    EXPECT_EQ(metadata["profile"]["slowOffset"], -0.125);
    EXPECT_EQ(metadata["pose"]["given"], "1.5,-2,0.25,90");
    EXPECT_EQ(metadata["pose"]["matrix"],
              nlohmann::json({0, -1, 0, 1.5, 1, 0, 0, -2, 0, 0, 1, 0.25, 0, 0, 0, 1}));
    EXPECT_EQ(againMetadata["profile"], metadata["profile"]);
    EXPECT_EQ(againMetadata["pose"], metadata["pose"]);

    // No option: the recorded offsets and pose, said in the summary.
    const e2e::ProgramResult recorded = Export({"scan.txt", "--ply", "r.ply", "--ptx", "r.ptx", "--html", "r.html"});
    ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
    EXPECT_NE(recorded.out.find("mirror offset: 0.25 rad, from the profile lab.json recorded in the metadata "
                                "file scan.txt.json\nslow-axis offset: -0.125 rad, from the profile lab.json"),
              std::string::npos)
        << recorded.out;
    EXPECT_NE(recorded.out.find("pose: 1.5,-2,0.25,90 (points in the scanner's frame, the pose stored beside "
                                "them), from the metadata file scan.txt.json\n"),
              std::string::npos)
        << recorded.out;
    // The viewer's panel shows the summary's lines, these among them.
    EXPECT_NE(Read("r.html").find(R"("pose": "1.5,-2,0.25,90 (points in the scanner's frame)"), std::string::npos);
    // The recorded pose reaches the PTX: its position in inches and a quarter turn.
    const std::vector<std::string> ptx = Lines("r.ptx");
    ASSERT_GT(ptx.size(), 10u);
    EXPECT_EQ(std::vector<std::string>(ptx.begin() + 2, ptx.begin() + 10),
              (std::vector<std::string>{"59.05511811023622 -78.74015748031496 9.84251968503937", "0 1 0",
                                        "-1 0 0", "0 0 1", "0 1 0 0", "-1 0 0 0", "0 0 1 0",
                                        "59.05511811023622 -78.74015748031496 9.84251968503937 1"}));

    // The same values typed give the same files; other values typed win.
    ASSERT_EQ(Export({"scan.txt", "--ply", "t.ply", "--ptx", "t.ptx", "--mirror-offset", "0.25", "--slow-offset",
                      "-0.125", "--pose", "1.5,-2,0.25,90"})
                  .exitCode,
              0);
    EXPECT_EQ(Read("t.ply"), Read("r.ply"));
    EXPECT_EQ(Read("t.ptx"), Read("r.ptx"));
    const e2e::ProgramResult typed =
        Export({"scan.txt", "--ply", "o.ply", "--ptx", "o.ptx", "--mirror-offset", "0", "--pose", "0,0,0,0"});
    ASSERT_EQ(typed.exitCode, 0) << typed.err;
    EXPECT_NE(typed.out.find("mirror offset: 0 rad, from --mirror-offset\nslow-axis offset: -0.125 rad, from the "
                             "profile lab.json recorded"),
              std::string::npos)
        << typed.out;
    EXPECT_NE(typed.out.find("pose: 0,0,0,0 (points in the scanner's frame, the pose stored beside them), from "
                             "--pose\n"),
              std::string::npos);
    EXPECT_NE(Read("o.ply"), Read("r.ply"));
    EXPECT_EQ(Lines("o.ptx")[2], "0 0 0");

    // A profile named on the command line wins over the recorded one.
    Write("other.json", R"({"format": {"name": "velscan-instrument-profile", "version": 1},
                            "mirrorOffset": 0, "slowOffset": 0})");
    const e2e::ProgramResult named = Export({"scan.txt", "--ply", "n.ply", "--profile", "other.json"});
    ASSERT_EQ(named.exitCode, 0) << named.err;
    EXPECT_NE(named.out.find("mirror offset: 0 rad, from the profile other.json (--profile)\n"), std::string::npos)
        << named.out;
}

TEST_F(ProfileAndPose, WithNeitherTheSummaryKeepsItsLinesAndTheRecordedOnesAreLeftOut) {
    ASSERT_EQ(Velscan("plain.txt", {}).exitCode, 0);
    const auto metadata = nlohmann::json::parse(Read("plain.txt.json"));
    EXPECT_FALSE(metadata.contains("profile"));
    EXPECT_FALSE(metadata.contains("pose"));
    const e2e::ProgramResult exported = Export({"plain.txt", "--ply", "p.ply"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(exported.out.find("offset"), std::string::npos) << exported.out;
    EXPECT_EQ(exported.out.find("pose"), std::string::npos) << exported.out;
}

TEST(PoseText, TakesAHeadingOrARigidMatrixAndRefusesTheRest) {
    std::string problem;
    const auto heading = ParsePose(" 1, 2 ,3,-90", problem);
    ASSERT_TRUE(heading) << problem;
    EXPECT_EQ(heading->matrix, (std::array<double, 16>{0, 1, 0, 1, -1, 0, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1}));

    struct Refused {
        const char* text;
        const char* problem;
    };
    for (const Refused& r : std::vector<Refused>{
             {"1,2,3", "needs 4 numbers (x,y,z,heading) or 16 (a 4x4 matrix row by row) apart by commas, not 3"},
             {"1,2,,4", "has \"\" where a finite number belongs"},
             {"1,2,3,nan", "has \"nan\" where a finite number belongs"},
             {"1,2,3,4deg", "has \"4deg\" where a finite number belongs"},
             {"1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,1,1", "matrix's bottom row is not 0,0,0,1"},
             {"2,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1",
              "matrix is not a rotation and a translation (its upper-left 3x3 is not orthonormal)"},
             {"1,0.01,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1",
              "matrix is not a rotation and a translation (its upper-left 3x3 is not orthonormal)"},
             {"1,0,0,0, 0,1,0,0, 0,0,-1,0, 0,0,0,1", "matrix is a reflection, not a rotation (its determinant is -1)"},
         }) {
        SCOPED_TRACE(r.text);
        EXPECT_FALSE(ParsePose(r.text, problem));
        EXPECT_EQ(problem, r.problem);
    }
    // Within the tolerance: a matrix printed to seven places.
    EXPECT_TRUE(ParsePose("0.7071068,-0.7071068,0,0, 0.7071068,0.7071068,0,0, 0,0,1,0, 0,0,0,1", problem)) << problem;
}

TEST(PoseText, AMatrixBecomesTheQuaternionWhoseAxesAreItsColumns) {
    // Rotations about every axis and through each branch of the conversion.
    for (const double degrees : {0.0, 30.0, 90.0, 179.0, 180.0, -135.0}) {
        for (int axis = 0; axis < 3; ++axis) {
            SCOPED_TRACE(std::to_string(degrees) + " degrees about axis " + std::to_string(axis));
            const double c = std::cos(degrees * std::numbers::pi / 180.0), s = std::sin(degrees * std::numbers::pi / 180.0);
            SitePose pose;
            pose.matrix = {1, 0, 0, 0.0254, 0, 1, 0, -0.0508, 0, 0, 1, 1, 0, 0, 0, 1};
            const int a = (axis + 1) % 3, b = (axis + 2) % 3;
            pose.matrix[static_cast<std::size_t>(4 * a + a)] = c;
            pose.matrix[static_cast<std::size_t>(4 * a + b)] = -s;
            pose.matrix[static_cast<std::size_t>(4 * b + a)] = s;
            pose.matrix[static_cast<std::size_t>(4 * b + b)] = c;
            const ScanPose inches = PoseInUnit(pose, LengthUnit::kInches);
            EXPECT_NEAR(inches.position[0], 1.0, 1e-12);
            EXPECT_NEAR(inches.position[1], -2.0, 1e-12);
            EXPECT_NEAR(inches.position[2], 1.0 / 0.0254, 1e-9);
            EXPECT_EQ(PoseInUnit(pose, LengthUnit::kMetres).position[2], 1.0);
            EXPECT_GE(inches.orientation[0], 0.0);
            const auto axes = inches.Axes();
            for (int column = 0; column < 3; ++column)
                for (int row = 0; row < 3; ++row)
                    EXPECT_NEAR(axes[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)],
                                pose.matrix[static_cast<std::size_t>(4 * row + column)], 1e-12);
        }
    }
}

}  // namespace
}  // namespace velscan::exporter
