#include "acquisition/progress.hpp"
#include "acquisition/run_console.hpp"

#include "acquisition/console_message_sink.hpp"
#include "conversion/range_interpolation.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace velscan {
namespace {

using namespace std::chrono_literals;

class CapturedFile {
public:
    CapturedFile() : file_(std::tmpfile(), &std::fclose) {}
    std::FILE* get() const { return file_.get(); }
    std::string Text() const {
        std::fflush(file_.get());
        std::rewind(file_.get());
        std::string text;
        for (int c; (c = std::fgetc(file_.get())) != EOF;) text += static_cast<char>(c);
        return text;
    }

private:
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
};

StatusText Text(const char* text) {
    StatusText status;
    std::snprintf(status.text, sizeof status.text, "%s", text);
    return status;
}

TEST(StatusTextTest, SamplingShowsHowToStopAndRateAndTimeLeftOnceALineIsDone) {
    EXPECT_STREQ(FormatSamplingStatus(0, 200, 0ns).text, "Sampling: line 0 of 200; q or Ctrl+C: stop");
    // 50 lines of 5000 samples in 5 s: 50,000 samples/s, 150 lines at 0.1 s.
    EXPECT_STREQ(FormatSamplingStatus(50, 200, 5s).text,
                 "Sampling: line 50 of 200, 50000 samples/s, 0:15 left; q or Ctrl+C: stop");
    EXPECT_STREQ(FormatSamplingStatus(1, 200, 2s).text,
                 "Sampling: line 1 of 200, 2500 samples/s, 6:38 left; q or Ctrl+C: stop");
    EXPECT_STREQ(FormatSamplingStatus(200, 200, 20s).text,
                 "Sampling: line 200 of 200, 50000 samples/s, 0:00 left; q or Ctrl+C: stop");
    // With the last line's fraction with a range, rounded down; the longest
    // line (a 33-minute scan) stays within 80 columns.
    EXPECT_STREQ(FormatSamplingStatus(50, 200, 5s, 0.8765).text,
                 "Sampling: line 50 of 200, 50000 samples/s, 0:15 left, 87% in range; q: stop");
    EXPECT_STREQ(FormatSamplingStatus(1, 200, 10s, 0.9998).text,
                 "Sampling: line 1 of 200, 500 samples/s, 33:10 left, 99% in range; q: stop");
    EXPECT_LE(std::strlen(FormatSamplingStatus(200, 200, 1h, 1.0).text), 79u);
    EXPECT_STREQ(FormatMirrorWaitStatus(20).text, "Mirror run-up: 20 s left");
    EXPECT_STREQ(FormatSavingStatus(1000000).text, "Saving 1000000 rows");
}

TEST(StatusLineTest, RedrawsInPlaceAndBlanksWhatALongerTextLeft) {
    CapturedFile terminal;
    {
        StatusLine line(terminal.get(), true);
        line.Show(Text("abcdef"));
        line.Show(Text("xy"));
        line.Clear();
        line.Clear();  // nothing shown: nothing written
        line.Show(Text("z"));
        line.Show(Text("saving"));
    }  // erased when it goes
    EXPECT_EQ(terminal.Text(), "\rabcdef\rxy    \b\b\b\b\r  \r\rz\rsaving\r      \r");
}

TEST(StatusLineTest, DisabledLineWritesNothingAndDocumentedLinesPassUnchanged) {
    CapturedFile out;
    CapturedFile err;
    {
        RunConsole console(out.get(), err.get(), false);
        console.Status().Show(Text("status"));
        console.Error("Begin sampling\n");
        console.ErrorFormat("Sampling Lines counter: %d\n", -1);
        console.Output("ERROR: Sample measurement timeout!\n");
    }
    EXPECT_EQ(err.Text(), "Begin sampling\nSampling Lines counter: -1\n");
    EXPECT_EQ(out.Text(), "ERROR: Sample measurement timeout!\n");
}

TEST(StatusLineTest, TheStatusLineIsErasedBeforeEveryDocumentedLine) {
    CapturedFile out;
    CapturedFile err;
    {
        RunConsole console(out.get(), err.get(), true);
        console.Status().Show(Text("abc"));
        console.Error("End sampling\n");
        console.Status().Show(Text("de"));
        console.Output("ERROR: x\n");
        console.Status().Show(Text("f"));
        console.ErrorFormat("n=%d\n", 3);
    }
    EXPECT_EQ(err.Text(), "\rabc\r   \rEnd sampling\n\rde\r  \r\rf\r \rn=3\n");
    EXPECT_EQ(out.Text(), "ERROR: x\n");
}

TEST(StatusLineTest, TheConversionsMessagesComeThroughTheConsoleAfterTheStatusLineIsErased) {
    CapturedFile out;
    CapturedFile err;
    {
        RunConsole console(out.get(), err.get(), true);
        ConsoleMessageSink sink(console);
        const ScopedMessageSink routed(sink);
        console.Status().Show(Text("Sampling"));
        (void)InterpolateCoarseFine(4001, 901, 800);  // a fine value beyond the last band
    }
    EXPECT_EQ(err.Text(), "\rSampling\r        \r*** Not valid 5 ***\n");
    EXPECT_EQ(out.Text(), "*** Not valid 5 ***\n");
}

}  // namespace
}  // namespace velscan
