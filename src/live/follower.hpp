#pragma once
// velscan-live's work: it follows the capture velscan writes, converts each
// line once it is complete (through the card library's own conversion, as
// velscan-reconvert does) and keeps the live page's data script and picture
// up to date; at the end it writes the finished table's range picture and
// viewer with velscan-export's own code, and says on the page how the scan
// ended. It runs in a process of its own at a lower priority, so none of
// this costs velscan's line loop anything.

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "export/scan_table.hpp"
#include "live/capture_tail.hpp"
#include "live/live_page.hpp"
#include "scanfile/line_figures.hpp"
#include "scanfile/live_messages.hpp"

namespace velscan::live {

// The lines of the capture converted so far, as a table in memory.
class LiveScan {
public:
    // Prepares the conversion with the scan's settings, calibration value and
    // lookup file; Refusal() says why it cannot convert, else empty.
    explicit LiveScan(const LiveStart& start);
    const std::string& Refusal() const { return refusal_; }

    // Takes the capture's records in order; converts every line they
    // complete (at most the lines asked, none after one whose first sample
    // is invalid, as velscan stops there). The number of lines added.
    std::int32_t Take(const std::vector<RawSample>& records);

    std::int32_t Lines() const { return lines_; }
    // Whether the sampling's first record has arrived.
    bool SamplingStarted() const { return seen_ > firstRecord_; }
    const exporter::ScanTable& Table() const { return table_; }
    // The figures of every line converted (samples lost are not known here:
    // velscan tells of them at the end).
    std::span<const LineFigures> Figures() const { return figures_->Lines(); }

private:
    std::string refusal_;
    std::uint32_t board_ = 0;
    std::uint64_t firstRecord_ = 0;
    std::int32_t linesAsked_ = 0;
    std::int32_t samplePeriod_ = 0;
    std::uint64_t seen_ = 0;             // records taken so far
    std::vector<RawSample> pending_;     // of the line not yet complete
    std::int32_t lines_ = 0;
    bool stopped_ = false;
    exporter::ScanTable table_;
    std::unique_ptr<ScanLineFigures> figures_ = std::make_unique<ScanLineFigures>();
};

class Follower {
public:
    // `err`: where its own warnings go (velscan's standard error).
    Follower(LiveStart start, std::FILE* err);
    Follower(const Follower&) = delete;
    Follower& operator=(const Follower&) = delete;
    ~Follower();

    // Writes the page and its first state (when the live view is on).
    void Begin();
    // Sampling starts: the capture is the scan's from now on.
    void SamplingStarts() { sampling_ = true; }
    // Reads what the capture gained and shows it: the data script when
    // something changed, the picture when one is due.
    void Poll();
    // How the scan ended (nullopt: velscan ended without saying): the last
    // lines, the finished table's picture and viewer, the last state.
    void End(const std::optional<LiveEnd>& end);

    const LiveState& State() const { return state_; }

private:
    bool LiveView() const { return start_.live && start_.capture.has_value(); }
    void WriteState();
    void WritePicture();
    void WriteFinishedFiles();
    bool WriteFile(const std::string& target, const std::string& text);
    void Warn(const std::string& warning);
    double SecondsLeft() const;

    LiveStart start_;
    std::FILE* err_;
    std::unique_ptr<LiveScan> scan_;
    std::optional<CaptureTail> tail_;
    LiveState state_;
    std::vector<RawSample> records_;
    std::string lastScript_;
    std::int32_t linesPictured_ = 0;
    std::chrono::steady_clock::time_point nextPicture_{};
    bool captureFailed_ = false;
    bool sampling_ = false;
    std::vector<std::string> warned_;
};

}  // namespace velscan::live
