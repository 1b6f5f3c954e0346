// The follower's parts: the capture read as it grows, the messages between
// velscan and the follower, the page's data script, and the platform seam
// that starts, feeds, waits for and kills a helper program.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "live/capture_tail.hpp"
#include "live/live_page.hpp"
#include "platform/process.hpp"
#include "program_run.hpp"
#include "scanfile/live_messages.hpp"

namespace velscan::live {
namespace {

namespace fs = std::filesystem;

RawSample Record(std::uint32_t n) { return RawSample{n, n + 1, n + 2, n + 3}; }

void AppendBytes(const fs::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

TEST(CaptureTail, ReadsWholeRecordsAsTheCaptureGrowsAndKeepsOneCutShortForLater) {
    e2e::ScratchDirectory dir("tail");
    const fs::path capture = dir.Path() / "scan.txt.capture";
    CaptureTail tail(capture.string());
    std::vector<RawSample> records;
    std::string problem;
    // Not there yet: nothing, and no problem.
    ASSERT_TRUE(tail.ReadNew(records, problem)) << problem;
    EXPECT_TRUE(records.empty());

    const std::vector<RawSample> written{Record(10), Record(20), Record(30), Record(40)};
    const char* bytes = reinterpret_cast<const char*>(written.data());
    AppendBytes(capture, bytes, 2 * sizeof(RawSample) + 5);  // the third cut after 5 bytes
    ASSERT_TRUE(tail.ReadNew(records, problem)) << problem;
    ASSERT_EQ(records.size(), 2u);
    AppendBytes(capture, bytes + 2 * sizeof(RawSample) + 5, 2 * sizeof(RawSample) - 5);
    ASSERT_TRUE(tail.ReadNew(records, problem)) << problem;
    ASSERT_EQ(records.size(), 4u);
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(records[i].statusWord, written[i].statusWord) << i;
        EXPECT_EQ(records[i].rangeWord, written[i].rangeWord) << i;
    }
    EXPECT_EQ(tail.BytesRead(), 4 * sizeof(RawSample));

    // Emptied (another scan under the same name): not the capture followed.
    fs::resize_file(capture, sizeof(RawSample));
    EXPECT_FALSE(tail.ReadNew(records, problem));
    EXPECT_NE(problem.find("shorter"), std::string::npos) << problem;
}

TEST(LiveMessages, CarryAnyNameAndTheScansFactsAndRefuseOtherLines) {
    LiveStart start;
    start.table = std::string("scan \xff\n.txt");  // not UTF-8, with a line break
    start.capture = start.table + ".capture";
    start.linesAsked = 17;
    start.samplingStartsAtRecord = 20;
    start.live = false;
    start.facts.calibrationValue = 1234;
    start.facts.settings = MetadataSettings{.outputFile = start.table, .port = 1, .board = 0, .samplePeriod = 20,
                                            .lines = 17, .maxRange = 650, .motor = 1, .motorPower = 255};
    const std::string line = LiveStartLine(start);
    ASSERT_EQ(line.find('\n'), line.size() - 1) << "one line";
    const std::optional<LiveStart> read = ReadLiveStart(line.substr(0, line.size() - 1));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->table, start.table);
    EXPECT_EQ(read->capture, start.capture);
    EXPECT_EQ(read->linesAsked, 17);
    EXPECT_EQ(read->samplingStartsAtRecord, 20u);
    EXPECT_FALSE(read->live);
    EXPECT_TRUE(read->pictures);
    EXPECT_EQ(read->facts.calibrationValue, 1234);
    ASSERT_TRUE(read->facts.settings);
    EXPECT_EQ(read->facts.settings->samplePeriod, 20);
    EXPECT_EQ(read->facts.settings->maxRange, 650);

    const std::optional<LiveEnd> end =
        ReadLiveEnd(LiveEndLine(LiveEnd{.how = "failed", .message = "Error: x", .linesSaved = 3}));
    ASSERT_TRUE(end);
    EXPECT_EQ(end->how, "failed");
    EXPECT_EQ(end->message, "Error: x");
    EXPECT_EQ(end->linesSaved, 3);
    const std::optional<LiveEnd> nothingSaved = ReadLiveEnd(LiveEndLine(LiveEnd{.how = "stopped", .message = std::nullopt, .linesSaved = std::nullopt}));
    ASSERT_TRUE(nothingSaved);
    EXPECT_FALSE(nothingSaved->linesSaved);

    EXPECT_FALSE(ReadLiveStart(LiveEndLine(LiveEnd{.how = "complete", .message = std::nullopt, .linesSaved = std::nullopt})));
    EXPECT_FALSE(ReadLiveEnd(line));
    EXPECT_TRUE(IsLiveSampling(LiveSamplingLine()));
    EXPECT_FALSE(IsLiveSampling(line));
    for (const char* other : {"", "{", "[1]", R"({"message": 5})", R"({"message": "velscan-live-end"})"}) {
        EXPECT_FALSE(ReadLiveStart(other)) << other;
        EXPECT_FALSE(ReadLiveEnd(other)) << other;
    }
}

TEST(LivePage, NamesReachThePageOnlyAsEscapedTextAndFileNamesAsRelativeUrls) {
    LiveState state;
    state.table = "/data/x y<b>\"&.txt";
    state.picture = state.table + ".live.png";
    state.message = "Error: </script> \xe2\x80\xa8 line";
    const std::string script = LiveScriptText(state);
    EXPECT_EQ(script.find("</"), std::string::npos) << script;
    EXPECT_EQ(script.find("<b>"), std::string::npos) << script;
    ASSERT_TRUE(script.starts_with("velscanLive(") && script.ends_with(");\n")) << script;
    const auto json = nlohmann::json::parse(script.substr(12, script.size() - 12 - 3));
    EXPECT_EQ(json["table"], state.table);
    EXPECT_EQ(json["message"], state.message);
    EXPECT_EQ(json["picture"], "x%20y%3Cb%3E%22%26.txt.live.png");
    EXPECT_EQ(json["ended"], false);

    const std::string page = LivePageText(state.table);
    EXPECT_NE(page.find("<script src=\"x%20y%3Cb%3E%22%26.txt.live.js\"></script>"),
              std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
}

// The seam, with the shell as the helper.
TEST(ChildProcess, FeedsItsInputWaitsForItsEndAndKillsOneThatWillNotEnd) {
    e2e::ScratchDirectory dir("child");
    const fs::path out = dir.Path() / "out";
    std::string whyNot;
    auto copier = platform::ChildProcess::Start("/bin/sh", {"-c", "cat > \"$0\"", out.string()}, whyNot);
    ASSERT_TRUE(copier) << whyNot;
    ASSERT_TRUE(copier->Write("first line\n"));
    ASSERT_TRUE(copier->Write("second line\n"));
    copier->CloseInput();
    EXPECT_FALSE(copier->Write("after the close\n"));
    ASSERT_TRUE(copier->WaitFor(60000));
    EXPECT_EQ(copier->ExitCode(), 0);
    EXPECT_EQ(e2e::ReadFile(out), "first line\nsecond line\n");

    // cat does not end while its input is open.
    auto reader = platform::ChildProcess::Start("/bin/cat", {}, whyNot);
    ASSERT_TRUE(reader) << whyNot;
    EXPECT_FALSE(reader->WaitFor(50));
    reader->Kill();
    EXPECT_TRUE(reader->WaitFor(0));
    EXPECT_EQ(reader->ExitCode(), -1);

    // A helper that ended: writes fail, and raise no SIGPIPE.
    auto gone = platform::ChildProcess::Start("/bin/true", {}, whyNot);
    ASSERT_TRUE(gone) << whyNot;
    ASSERT_TRUE(gone->WaitFor(60000));
    EXPECT_FALSE(gone->Write(std::string(1 << 20, 'x')));

    EXPECT_FALSE(platform::ChildProcess::Start(dir.Path() / "no such program", {}, whyNot));
    EXPECT_FALSE(whyNot.empty());
}

}  // namespace
}  // namespace velscan::live
