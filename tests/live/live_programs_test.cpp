// velscan, velscan-live and velscan-export together, on the simulated
// instrument in virtual time: the live page and the finished table's
// pictures beside the table, each turned off on its own; the follower after
// velscan died (its input ends with no end message) reading a capture cut in
// the middle of a record; and a velscan with no follower beside it, whose
// scan goes on.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "program_run.hpp"
#include "scanfile/live_messages.hpp"
#include "scanfile/scan_metadata.hpp"

namespace velscan {
namespace {

namespace fs = std::filesystem;
using e2e::Execute;
using e2e::ProgramResult;
using e2e::ReadFile;

constexpr std::size_t kRecordBytes = 16;
constexpr std::size_t kLineRecords = 5000;

// The state the data script last gave the page.
nlohmann::json PageState(const fs::path& script) {
    const std::string text = ReadFile(script);
    const std::string head = "velscanLive(";
    EXPECT_TRUE(text.starts_with(head) && text.ends_with(");\n")) << text;
    return nlohmann::json::parse(text.substr(head.size(), text.size() - head.size() - 3));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

class LivePrograms : public ::testing::Test {
protected:
    LivePrograms() { fs::copy_file(VELSCAN_LOOKUP_FILE, Path("LOOKUPHS")); }

    fs::path Path(const std::string& name) const { return dir_.Path() / name; }

    ProgramResult Scan(int lines, std::map<std::string, std::string> environment,
                       const std::string& program = VELSCAN_BINARY) {
        environment.emplace("VELSCAN_SIM", "1");
        environment.emplace("VELSCAN_CLOCK", "virtual");
        return Execute(program, {{"scan.txt", "-l", std::to_string(lines)}, environment, std::nullopt, dir_.Path(),
                                 std::nullopt});
    }

    e2e::ScratchDirectory dir_{"live"};
};

TEST_F(LivePrograms, TheLivePageAndTheFinishedTablesPictureAndViewerStandBesideTheTable) {
    // The capture kept by default, made when sampling starts; until then an
    // earlier scan's of that name stands there.
    std::ofstream(Path("scan.txt.capture"), std::ios::binary) << std::string(7 * kLineRecords * kRecordBytes, 'x');
    const ProgramResult run = Scan(4, {{"VELSCAN_LIVE", "on"}, {"VELSCAN_PICTURES", "on"}});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.err);
    const auto wait = std::find(lines.begin(), lines.end(), "Waiting (20 sec.) for mirror to move");
    ASSERT_NE(wait, lines.begin());
    EXPECT_EQ(*(wait - 1), "Live view: " + Path("scan.txt.live.html").string()) << run.err;
    EXPECT_EQ(lines.back(), "Saved 4 lines to scan.txt") << run.err;

    const nlohmann::json state = PageState(Path("scan.txt.live.js"));
    EXPECT_EQ(state["state"], "complete");
    EXPECT_EQ(state["linesDone"], 4);
    EXPECT_EQ(state["linesAsked"], 4);
    EXPECT_EQ(state["finishedPicture"], "scan.txt.png");
    EXPECT_EQ(state["finishedViewer"], "scan.txt.html");
    EXPECT_EQ(state["picture"], "scan.txt.png");
    // Each line's figures, those of the table's metadata file.
    const nlohmann::json metadata = nlohmann::json::parse(ReadFile(Path("scan.txt.json")));
    ASSERT_EQ(state["figures"].size(), 4u);
    ASSERT_EQ(metadata["lineFigures"].size(), 4u) << metadata["lineFigures"];
    for (std::size_t line = 0; line < 4; ++line) {
        const nlohmann::json& ours = state["figures"][line];
        const nlohmann::json& recorded = metadata["lineFigures"][line];
        EXPECT_NEAR(ours[0].get<double>(), recorded["withRange"].get<double>(), 1e-9) << line;
        EXPECT_NEAR(ours[2].get<double>(), recorded["distanceMedian"].get<double>(), 1e-6) << line;
        EXPECT_NEAR(ours[4].get<double>(), recorded["meanAmplitude"].get<double>(), 1e-6) << line;
    }
    EXPECT_TRUE(fs::exists(Path("scan.txt.live.png")));
    EXPECT_NE(ReadFile(Path("scan.txt.live.html")).find("scan.txt.live.js"), std::string::npos);

    // The picture and the viewer are velscan-export's, byte for byte.
    const ProgramResult exported = Execute(VELSCAN_EXPORT_BINARY, {{"scan.txt", "--png", "export.png", "--html",
                                                                    "export.html"},
                                                                   {}, std::nullopt, dir_.Path(), std::nullopt});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_TRUE(ReadFile(Path("scan.txt.png")) == ReadFile(Path("export.png")));
    EXPECT_TRUE(ReadFile(Path("scan.txt.html")) == ReadFile(Path("export.html")));
    // Nothing unfinished left.
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".velscan"), std::string::npos) << entry.path();
}

TEST_F(LivePrograms, EachExtraFileTurnsOffOnItsOwnAndNoCaptureMeansNoLiveView) {
    const ProgramResult picturesOnly =
        Scan(2, {{"VELSCAN_CAPTURE", "scan.txt.capture"}, {"VELSCAN_LIVE", "off"}, {"VELSCAN_PICTURES", "on"}});
    ASSERT_EQ(picturesOnly.exitCode, 0) << picturesOnly.err;
    EXPECT_EQ(picturesOnly.err.find("Live view"), std::string::npos) << picturesOnly.err;
    EXPECT_TRUE(fs::exists(Path("scan.txt.png")));
    EXPECT_TRUE(fs::exists(Path("scan.txt.html")));
    EXPECT_FALSE(fs::exists(Path("scan.txt.live.html")));
    EXPECT_FALSE(fs::exists(Path("scan.txt.live.js")));

    fs::remove(Path("scan.txt.png"));
    fs::remove(Path("scan.txt.html"));
    const ProgramResult liveOnly =
        Scan(2, {{"VELSCAN_CAPTURE", "scan.txt.capture"}, {"VELSCAN_LIVE", "on"}, {"VELSCAN_PICTURES", "off"}});
    ASSERT_EQ(liveOnly.exitCode, 0) << liveOnly.err;
    EXPECT_EQ(PageState(Path("scan.txt.live.js"))["state"], "complete");
    EXPECT_EQ(PageState(Path("scan.txt.live.js"))["finishedPicture"], "");
    EXPECT_FALSE(fs::exists(Path("scan.txt.png")));
    EXPECT_FALSE(fs::exists(Path("scan.txt.html")));

    fs::remove(Path("scan.txt.live.html"));
    const ProgramResult noCapture =
        Scan(2, {{"VELSCAN_CAPTURE", "off"}, {"VELSCAN_LIVE", "on"}, {"VELSCAN_PICTURES", "on"}});
    ASSERT_EQ(noCapture.exitCode, 0) << noCapture.err;
    EXPECT_NE(noCapture.err.find("No live view: the scan keeps no capture file to follow\n"), std::string::npos)
        << noCapture.err;
    EXPECT_FALSE(fs::exists(Path("scan.txt.live.html")));
    EXPECT_TRUE(fs::exists(Path("scan.txt.png")));
}

// velscan died after three lines and a part of the fourth, in the middle of
// a record: the follower's input ends without the end message.
TEST_F(LivePrograms, AFollowerWhoseInputEndsUnsaidShowsTheCompleteLinesAndHowToRecoverThem) {
    const ProgramResult run = Scan(5, {{"VELSCAN_CAPTURE", "scan.txt.capture"}});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const MetadataReading recorded = ReadMetadataFile(Path("scan.txt.capture.json").string());
    ASSERT_TRUE(recorded.facts) << recorded.problem;
    fs::resize_file(Path("scan.txt.capture"), (20 + 3 * kLineRecords + 1234) * kRecordBytes + 7);
    fs::remove(Path("scan.txt"));

    LiveStart start;
    start.table = "scan.txt";
    start.capture = "scan.txt.capture";
    start.linesAsked = 5;
    start.samplingStartsAtRecord = 20;
    start.facts = *recorded.facts;
    // Before sampling starts a capture of that name may be an earlier
    // scan's: the follower does not read it.
    const ProgramResult beforeSampling =
        Execute(VELSCAN_LIVE_BINARY, {{}, {}, LiveStartLine(start), dir_.Path(), std::nullopt});
    ASSERT_EQ(beforeSampling.exitCode, 0) << beforeSampling.err;
    EXPECT_EQ(PageState(Path("scan.txt.live.js"))["linesDone"], 0);
    EXPECT_FALSE(fs::exists(Path("scan.txt.live.png")));

    const std::string message = LiveStartLine(start) + LiveSamplingLine();
    ASSERT_LE(message.size(), 4096u);
    const ProgramResult follower =
        Execute(VELSCAN_LIVE_BINARY, {{}, {}, message, dir_.Path(), std::nullopt});
    ASSERT_EQ(follower.exitCode, 0) << follower.err;

    const nlohmann::json state = PageState(Path("scan.txt.live.js"));
    EXPECT_EQ(state["state"], "lost");
    EXPECT_EQ(state["linesDone"], 3);
    EXPECT_EQ(state["ended"], true);
    const std::string recovery = state["recovery"];
    EXPECT_EQ(recovery, "velscan-reconvert scan.txt.capture scan.txt");
    EXPECT_EQ(state["picture"], "scan.txt.live.png");
    EXPECT_TRUE(fs::exists(Path("scan.txt.live.png")));
    EXPECT_FALSE(fs::exists(Path("scan.txt.png"))) << "no table, no finished picture";

    // Not started by velscan: it says so and ends.
    const ProgramResult alone = Execute(VELSCAN_LIVE_BINARY, {{}, {}, std::string("hello\n"), dir_.Path(), std::nullopt});
    EXPECT_EQ(alone.exitCode, 2);
    EXPECT_NE(alone.err.find("no scan to follow"), std::string::npos) << alone.err;
}

// The whole way: velscan killed while it records; its follower, in a
// process group of its own, outlives it, says so on the page, and the
// command it gives recovers the lines.
TEST_F(LivePrograms, VelscanKilledWhileRecordingLeavesAPageThatSaysSoAndHowToRecover) {
    e2e::RunningProgram scan(VELSCAN_BINARY, {{"scan.txt", "-l", "200"},
                                              {{"VELSCAN_SIM", "1"}, {"VELSCAN_CLOCK", "virtual"},
                                               {"VELSCAN_LIVE", "on"}, {"VELSCAN_PICTURES", "on"}},
                                              std::nullopt, dir_.Path(), std::nullopt});
    ASSERT_TRUE(scan.WaitForError("Begin sampling\n")) << scan.ErrorSoFar();
    // Killed once the capture holds two whole lines.
    const std::uintmax_t twoLines = (20 + 2 * kLineRecords) * kRecordBytes;
    std::error_code noFile;
    while (fs::file_size(Path("scan.txt.capture"), noFile) < twoLines || noFile) {
        ASSERT_EQ(scan.ErrorSoFar().find("Saved"), std::string::npos) << "the scan ended before the kill";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    scan.Signal(SIGKILL);
    const ProgramResult killed = scan.Wait();
    ASSERT_EQ(killed.signal, SIGKILL) << killed.err;
    // The follower notices the end of its input at its next read of it.
    nlohmann::json state;
    for (int waited = 0; waited < 600; ++waited) {
        if (fs::exists(Path("scan.txt.live.js")) && (state = PageState(Path("scan.txt.live.js")))["state"] == "lost")
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(state["state"], "lost") << state;
    EXPECT_FALSE(fs::exists(Path("scan.txt")));
    EXPECT_FALSE(fs::exists(Path("scan.txt.png")));
    ASSERT_EQ(state["recovery"], "velscan-reconvert scan.txt.capture scan.txt");
    const ProgramResult recovered = Execute(VELSCAN_RECONVERT_BINARY, {{"scan.txt.capture", "scan.txt"}, {},
                                                                      std::nullopt, dir_.Path(), std::nullopt});
    EXPECT_EQ(recovered.exitCode, 0) << recovered.err;
    EXPECT_TRUE(fs::exists(Path("scan.txt")));
}

TEST_F(LivePrograms, AVelscanWithNoFollowerBesideItWarnsOnceAndRecordsTheScan) {
    const fs::path lonely = Path("velscan");
    fs::copy_file(VELSCAN_BINARY, lonely);
    const ProgramResult run = Scan(2, {{"VELSCAN_CAPTURE", "scan.txt.capture"}, {"VELSCAN_LIVE", "on"}},
                                   lonely.string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string warning = "Warning: " + Path("velscan-live").string() + " could not be started (";
    EXPECT_NE(run.err.find(warning), std::string::npos) << run.err;
    EXPECT_EQ(Lines(run.err).back(), "Saved 2 lines to scan.txt");
    EXPECT_TRUE(fs::exists(Path("scan.txt")));
    EXPECT_FALSE(fs::exists(Path("scan.txt.live.html")));
}

}  // namespace
}  // namespace velscan
