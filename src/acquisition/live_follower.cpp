#include "acquisition/live_follower.hpp"

#include <cstring>
#include <filesystem>

#include "acquisition/exit_codes.hpp"
#include "acquisition/run.hpp"
#include "cardlib/protocol.hpp"
#include "conversion/printable_text.hpp"
#include "platform/files/path_name.hpp"
#include "scanfile/file_names.hpp"
#include "scanfile/live_messages.hpp"

namespace velscan {

namespace {

constexpr const char* kFollowerProgram = "velscan-live";
// The follower writes the finished table's picture and viewer in a second or
// two; a follower still running after this is killed.
constexpr std::uint32_t kFinishLimitMs = 60000;
// After a run that ended on an exception: long enough to say so on the page.
constexpr std::uint32_t kAbandonLimitMs = 5000;

std::string Shown(const std::filesystem::path& path) { return PrintableText(files::NameOf(path)); }

bool RegularFile(const std::string& name) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(files::PathOf(name), ignored);
}

// A capture made when sampling starts is not there yet; one made at once is.
bool RegularFileOrNone(const std::string& name) {
    std::error_code ignored;
    return !std::filesystem::exists(files::PathOf(name), ignored) || RegularFile(name);
}

}  // namespace

LiveFollower::~LiveFollower() {
    if (!child_) return;
    child_->CloseInput();
    if (!child_->WaitFor(kAbandonLimitMs)) child_->Kill();
}

void LiveFollower::Start(Run& run) {
    const std::string& table = run.settings.outputFileName;
    // The capture being written is what the live view follows.
    const bool capture = run.capture.Present() && RegularFileOrNone(run.capture.Path());
    // A table written in place (a FIFO, a device) is no file to draw.
    const bool drawable = RegularFileOrNone(table);
    const bool live = run.context.liveView && capture;
    const bool pictures = run.context.pictures && drawable;
    if (run.context.liveView && !capture) run.console.Error("No live view: the scan keeps no capture file to follow\n");
    if (!live && !pictures) return;

    const std::filesystem::path program =
        platform::ProgramInFolder(platform::OwnProgramFolder(), kFollowerProgram);
    std::string whyNot;
    child_ = platform::ChildProcess::Start(program, {}, whyNot);
    if (!child_) {
        run.console.ErrorFormat("Warning: %s could not be started (%s): no live view, picture or viewer of this scan\n",
                                Shown(program).c_str(), PrintableText(whyNot).c_str());
        return;
    }
    LiveStart start;
    start.table = table;
    if (live) start.capture = run.capture.Path();
    start.linesAsked = run.settings.lines;
    start.samplingStartsAtRecord = kCalibrationRecords;
    start.live = live;
    start.pictures = pictures;
    start.facts = run.facts;
    if (!child_->Write(LiveStartLine(start))) {
        child_.reset();
        run.console.Error("Warning: velscan-live ended at once: no live view, picture or viewer of this scan\n");
        return;
    }
    if (live) {
        std::error_code ignored;
        const std::filesystem::path page = std::filesystem::absolute(files::PathOf(LivePageName(table)), ignored);
        run.console.ErrorFormat("Live view: %s\n", Shown(page).c_str());
    }
}

void LiveFollower::SamplingStarts() {
    if (child_) (void)child_->Write(LiveSamplingLine());
}

void LiveFollower::Finish(Run& run, int exitCode) {
    if (!child_) return;
    if (!run.facts.end) run.RecordEnd(exitCode);
    LiveEnd end;
    const std::string& how = run.facts.end->how;
    end.how = how == "complete" ? "complete" : how == "failure" ? "failed" : "stopped";
    end.message = run.facts.end->message;
    end.linesSaved = run.linesSaved;
    (void)child_->Write(LiveEndLine(end));
    child_->CloseInput();
    if (!child_->WaitFor(kFinishLimitMs)) {
        child_->Kill();
        run.console.Error("Warning: velscan-live did not finish in time and was ended\n");
    }
    child_.reset();
}

}  // namespace velscan
