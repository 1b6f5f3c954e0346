#include "live/follower.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>

#include "cardlib/vexa.hpp"
#include "conversion/beam_geometry.hpp"
#include "conversion/printable_text.hpp"
#include "export/export_format.hpp"
#include "export/export_options.hpp"
#include "export/export_outputs.hpp"
#include "export/export_table.hpp"
#include "export/image.hpp"
#include "export/panorama_layout.hpp"
#include "export/range_picture.hpp"
#include "export/scan_angles.hpp"
#include "platform/files/path_name.hpp"
#include "scanfile/file_names.hpp"
#include "scanfile/measurement_table.hpp"

namespace velscan::live {

namespace {

using Clock = std::chrono::steady_clock;

// The picture of the lines so far is drawn again at most this often and at
// least this seldom, and never takes more than 1/kPictureShare of the time.
constexpr auto kShortestPictureSpacing = std::chrono::seconds(2);
constexpr auto kLongestPictureSpacing = std::chrono::seconds(3);
constexpr int kPictureShare = 40;

constexpr const char* kLookupFileName = "LOOKUPHS";

// A name as a shell takes it: in double quotes when it holds more than
// letters, digits and . _ - / characters.
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '_' || c == '-' || c == '/';
    });
    if (plain) return word;
    std::string quoted(1, '"');
    quoted.append(PrintableText(word));
    quoted.push_back('"');
    return quoted;
}

}  // namespace

LiveScan::LiveScan(const LiveStart& start)
    : firstRecord_(start.samplingStartsAtRecord), linesAsked_(std::min<std::int32_t>(start.linesAsked, kMaxLines)) {
    const ScanFacts& facts = start.facts;
    const std::optional<std::int32_t> period = facts.settings ? facts.settings->samplePeriod : std::nullopt;
    const std::optional<std::int32_t> range = facts.settings ? facts.settings->maxRange : std::nullopt;
    if (!period || !range || *period <= 0 || !facts.calibrationValue) {
        refusal_ = "the scan's settings or calibration value are not known";
        return;
    }
    VexaInitBoards();
    const OfflineBoard prepared = VexaPrepareOfflineBoard(
        OfflineBoardSettings{.calibrationValue = *facts.calibrationValue,
                             .encoderCounts = {kMirrorEncoderCountsPerTurn, kSlowAxisEncoderCountsPerTurn},
                             .lookupFile = facts.lookup.name.value_or(kLookupFileName),
                             .maxRange = *range,
                             .samplePeriod = static_cast<std::uint32_t>(*period)});
    refusal_ = prepared.refusal;
    board_ = prepared.board;
    samplePeriod_ = *period;
}

std::int32_t LiveScan::Take(const std::vector<RawSample>& records) {
    std::int32_t added = 0;
    for (const RawSample& record : records) {
        if (seen_++ < firstRecord_ || stopped_ || !refusal_.empty()) continue;
        pending_.push_back(record);
        if (pending_.size() < kSamplesPerLine) continue;
        std::vector<Measurement> line(kSamplesPerLine);
        VexaConvertSamples(board_, pending_.data(), line.data(), static_cast<std::int32_t>(kSamplesPerLine));
        pending_.clear();
        if (line[0].invalid != 0 || lines_ >= linesAsked_) {
            stopped_ = true;
            continue;
        }
        // Through the table's own text, so the picture shows the values a
        // reader of the table reads.
        table_.Append(exporter::ParseTable(MeasurementRowsText(line), "the live lines"));
        figures_->Add(line, samplePeriod_, false);
        ++lines_;
        ++added;
    }
    return added;
}

Follower::Follower(LiveStart start, std::FILE* err) : start_(std::move(start)), err_(err) {
    state_.table = start_.table;
    state_.linesAsked = start_.linesAsked;
    if (!LiveView()) return;
    scan_ = std::make_unique<LiveScan>(start_);
    tail_.emplace(*start_.capture);
    if (!scan_->Refusal().empty()) state_.message = "No picture of the lines so far: " + scan_->Refusal() + ".";
}

Follower::~Follower() = default;

void Follower::Warn(const std::string& warning) {
    if (std::find(warned_.begin(), warned_.end(), warning) != warned_.end()) return;
    warned_.push_back(warning);
    std::fprintf(err_, "velscan-live: %s\n", PrintableText(warning).c_str());
    std::fflush(err_);
}

bool Follower::WriteFile(const std::string& target, const std::string& text) {
    try {
        exporter::ExportOutputs outputs;
        files::OutputFile& file = outputs.Create(target);
        if (std::fwrite(text.data(), 1, text.size(), file.Stream()) != text.size() || std::ferror(file.Stream()))
            throw exporter::OutputError("Error: writing " + target + " failed");
        outputs.Commit();
        return true;
    } catch (const std::exception& failure) {
        Warn(failure.what());
        return false;
    }
}

double Follower::SecondsLeft() const {
    const std::int32_t period = start_.facts.settings ? start_.facts.settings->samplePeriod.value_or(0) : 0;
    const std::int32_t left = std::max<std::int32_t>(0, state_.linesAsked - state_.linesDone);
    return static_cast<double>(left) * static_cast<double>(kSamplesPerLine) * period * 1e-6;
}

void Follower::WriteState() {
    const std::string script = LiveScriptText(state_);
    if (script == lastScript_) return;
    if (WriteFile(LiveScriptName(start_.table), script)) lastScript_ = script;
}

void Follower::WritePicture() {
    if (!scan_ || scan_->Lines() == 0 || scan_->Lines() == linesPictured_) return;
    const Clock::time_point began = Clock::now();
    try {
        const exporter::ScanTable& table = scan_->Table();
        const exporter::ScanAngles angles = exporter::ExportAngles(table, false, 0.0, 0.0);
        const exporter::PanoramaLayout layout = exporter::ChoosePanorama(table, angles);
        const std::string name = files::NameOf(files::PathOf(start_.table).filename());
        const exporter::Image picture = exporter::RangePicture(
            table, angles, layout, name,
            "live view, " + std::to_string(scan_->Lines()) + " of " + std::to_string(start_.linesAsked) + " lines");
        exporter::ExportOutputs outputs;
        files::OutputFile& file = outputs.Create(LivePictureName(start_.table));
        exporter::WritePng(file.Stream(), picture);
        if (std::ferror(file.Stream())) throw exporter::OutputError("Error: writing " + file.Target() + " failed");
        outputs.Commit();
        linesPictured_ = scan_->Lines();
        state_.picture = LivePictureName(start_.table);
        ++state_.pictureVersion;
    } catch (const std::exception& failure) {
        Warn(failure.what());
    }
    const auto took = Clock::now() - began;
    nextPicture_ = Clock::now() + std::clamp<Clock::duration>(took * kPictureShare, kShortestPictureSpacing,
                                                              kLongestPictureSpacing);
}

void Follower::Begin() {
    if (!start_.live) return;
    if (!start_.capture) {
        state_.message = "No live picture: the scan keeps no capture.";
    }
    WriteFile(LivePageName(start_.table), LivePageText(start_.table));
    WriteState();
}

void Follower::Poll() {
    if (!LiveView() || captureFailed_ || !sampling_) return;
    std::string problem;
    records_.clear();
    bool read = tail_->ReadNew(records_, problem);
    if (read) {
        try {
            scan_->Take(records_);
        } catch (const std::exception& failure) {  // memory, or lines that are not a table's
            problem = std::string("could not be converted: ") + failure.what();
            read = false;
        }
    }
    if (!read) {
        captureFailed_ = true;
        state_.message = "The capture " + *start_.capture + " " + problem + ": the live view stops here.";
        Warn("Warning: the capture " + *start_.capture + " " + problem + "; the live view stops");
    }
    if (scan_->SamplingStarted() && state_.state == "mirror") state_.state = "recording";
    state_.linesDone = scan_->Lines();
    state_.figures.assign(scan_->Figures().begin(), scan_->Figures().end());
    if (state_.state == "recording") state_.secondsLeft = SecondsLeft();
    if (Clock::now() >= nextPicture_) WritePicture();
    WriteState();
}

void Follower::WriteFinishedFiles() {
    exporter::ExportOptions options;
    options.table = start_.table;
    options.outputs = {{exporter::FormatOfOption("--png"), PictureFileName(start_.table)},
                       {exporter::FormatOfOption("--html"), ViewerFileName(start_.table)}};
    const auto warn = [this](const std::string& warning) { Warn(warning); };
    try {
        (void)exporter::ExportTable(options, warn, warn);
        state_.finishedPicture = PictureFileName(start_.table);
        state_.finishedViewer = ViewerFileName(start_.table);
    } catch (const std::exception& failure) {
        Warn(std::string("Error: no picture and viewer of ") + start_.table + ": " + failure.what());
    }
}

void Follower::End(const std::optional<LiveEnd>& end) {
    if (LiveView()) {
        nextPicture_ = Clock::time_point{};  // the last lines' picture now
        Poll();
    }
    const bool tableSaved = end && end->linesSaved.has_value();
    if (start_.pictures && tableSaved) WriteFinishedFiles();
    if (!start_.live) return;
    state_.secondsLeft.reset();
    if (!end) {
        state_.state = "lost";
        state_.message = "The table may not have been saved.";
        if (start_.capture) {
            // The capture's metadata file, in place since sampling started,
            // holds all the conversion needs.
            state_.recovery = "velscan-reconvert " + ShellWord(*start_.capture) + " " + ShellWord(start_.table);
        }
    } else {
        state_.state = end->how == "complete" || end->how == "stopped" ? end->how : "failed";
        if (end->message) state_.message = *end->message;
        else if (!tableSaved) state_.message = "Nothing was saved.";
        else state_.message = "Saved " + std::to_string(*end->linesSaved) + " lines to " + start_.table + ".";
        if (tableSaved) state_.linesDone = *end->linesSaved;
    }
    // Once the finished picture is there, the page shows it.
    if (!state_.finishedPicture.empty()) {
        state_.picture = state_.finishedPicture;
        ++state_.pictureVersion;
    }
    WriteState();
}

}  // namespace velscan::live
