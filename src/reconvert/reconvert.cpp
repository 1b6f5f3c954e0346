#include "reconvert/reconvert.hpp"

#include <algorithm>
#include <optional>
#include <span>
#include <stdexcept>

#include "cardlib/vexa.hpp"
#include "conversion/beam_geometry.hpp"
#include "conversion/printable_text.hpp"
#include "platform/files/file_identity.hpp"
#include "platform/files/output_files.hpp"
#include "platform/system_facts.hpp"
#include "scanfile/capture_file.hpp"
#include "scanfile/line_figures.hpp"
#include "scanfile/lookup_facts.hpp"
#include "scanfile/measurement_table.hpp"
#include "scanfile/metadata_output.hpp"
#include "scanfile/program_version.hpp"
#include "scanfile/scan_metadata.hpp"

namespace velscan::reconvert {

namespace {

// Every failure ends the work with one message.
struct Refusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Shown(const std::string& path) { return PrintableText(path); }

// The capture's metadata file, when it has one.
std::optional<ScanFacts> ReadRecordedScan(const std::string& capture) {
    const std::string name = MetadataFileName(capture);
    MetadataReading reading = ReadMetadataFile(name);
    if (!reading.problem.empty()) throw Refusal(Shown(name) + " " + reading.problem);
    return std::move(reading.facts);
}

// A scan whose metadata file was put in place before sampling and never
// completed (`end` null): the run was cut short, by a crash, a power cut or
// a kill, while it wrote the capture.
bool CutShort(const std::optional<ScanFacts>& recorded) { return recorded && recorded->capture && !recorded->end; }

// The capture, checked against what its metadata file says of it. A cut
// capture may end inside a record; a finished one must be whole, and as its
// metadata file counts it.
CaptureReading ReadCapture(const std::string& path, const std::optional<ScanFacts>& recorded) {
    CaptureReading capture = ReadCaptureFile(path);
    switch (capture.failure) {
        case CaptureReading::Failure::Unreadable:
            throw Refusal("the capture " + Shown(path) + " could not be read: " + capture.reason);
        case CaptureReading::Failure::NotWholeRecords:
            if (CutShort(recorded)) break;
            throw Refusal("the capture " + Shown(path) + " is no whole number of 16-byte records");
        case CaptureReading::Failure::None: break;
    }
    if (capture.records.size() < kCalibrationRecords)
        throw Refusal("the capture " + Shown(path) + " holds fewer than the " + std::to_string(kCalibrationRecords) +
                      " calibration records");
    if (!CutShort(recorded) && recorded && recorded->capture && recorded->capture->records &&
        *recorded->capture->records != capture.records.size())
        throw Refusal("the capture " + Shown(path) + " holds " + std::to_string(capture.records.size()) +
                      " records, but " + Shown(MetadataFileName(path)) + " says the scan wrote " +
                      std::to_string(*recorded->capture->records));
    return capture;
}

// What the conversion runs with, and which records it converts.
struct Plan {
    std::int32_t samplePeriod = 0, maxRange = 0, calibrationValue = 0;
    std::size_t firstRecord = kCalibrationRecords;
    std::int32_t lines = 0;
    bool linesKnown = false;  // from the metadata: exactly these lines
    bool cutShort = false;    // the scan never ended: its complete lines
};

Plan PlanConversion(const ReconvertOptions& options, const std::optional<ScanFacts>& recorded,
                    std::span<const RawSample> records) {
    Plan plan;
    const std::optional<MetadataSettings> settings = recorded ? recorded->settings : std::nullopt;
    const auto period = options.samplePeriod ? options.samplePeriod : settings ? settings->samplePeriod : std::nullopt;
    const auto range = options.maxRange ? options.maxRange : settings ? settings->maxRange : std::nullopt;
    if (!period || !range) {
        throw Refusal(recorded ? Shown(MetadataFileName(options.capture)) + " names no sample period and range: give -s and -r"
                               : "the capture has no metadata file " + Shown(MetadataFileName(options.capture)) +
                                     ": give -s and -r as the recording had them");
    }
    plan.samplePeriod = *period;
    plan.maxRange = *range;
    // The value the recording's calibration measured, else the one its
    // records give by the calibration's own rule.
    plan.calibrationValue = recorded && recorded->calibrationValue
                                ? *recorded->calibrationValue
                                : CalibrationValueOf(records.first<kCalibrationRecords>());
    if (recorded && recorded->capture) {
        const std::uint64_t start = recorded->capture->samplingStartsAtRecord;
        if (start < kCalibrationRecords || start > records.size())
            throw Refusal("the metadata's sampling start lies outside the capture");
        plan.firstRecord = static_cast<std::size_t>(start);
    }
    const std::size_t complete = (records.size() - plan.firstRecord) / kSamplesPerLine;
    plan.cutShort = CutShort(recorded);
    if (plan.cutShort) {
        // Every complete line, as far as the scan asked for; the line loop's
        // own rule ends them at a line whose first sample is invalid.
        const std::int32_t asked = recorded->linesAsked.value_or(static_cast<std::int32_t>(kMaxLines));
        plan.lines = static_cast<std::int32_t>(
            std::min<std::size_t>(complete, static_cast<std::size_t>(std::clamp<std::int32_t>(asked, 0, static_cast<std::int32_t>(kMaxLines)))));
    } else if (recorded && recorded->linesRecorded) {
        plan.lines = *recorded->linesRecorded;
        plan.linesKnown = true;
        if (plan.lines < 0 || static_cast<std::size_t>(plan.lines) > complete || plan.lines > static_cast<std::int32_t>(kMaxLines))
            throw Refusal("the capture holds fewer lines than its metadata file says were recorded");
    } else {
        plan.lines = static_cast<std::int32_t>(std::min<std::size_t>(complete, kMaxLines));
    }
    return plan;
}

// The board set up as the run sets it up before sampling, without a card.
OfflineBoard PrepareBoard(const Plan& plan, const std::string& lookup) {
    VexaInitBoards();
    OfflineBoard prepared = VexaPrepareOfflineBoard(
        OfflineBoardSettings{.calibrationValue = plan.calibrationValue,
                             .encoderCounts = {kMirrorEncoderCountsPerTurn, kSlowAxisEncoderCountsPerTurn},
                             .lookupFile = lookup,
                             .maxRange = plan.maxRange,
                             .samplePeriod = static_cast<std::uint32_t>(plan.samplePeriod)});
    if (!prepared.refusal.empty()) throw Refusal(prepared.refusal);
    return prepared;
}

// Converts the lines into `measurements`; the number converted. A line whose
// first measurement is invalid ends a run's lines: without the recorded
// count, it ends them here too.
std::int32_t ConvertLines(std::uint32_t board, const Plan& plan, std::span<const RawSample> records,
                          std::span<Measurement> measurements) {
    for (std::int32_t k = 0; k < plan.lines; ++k) {
        const std::size_t offset = static_cast<std::size_t>(k) * kSamplesPerLine;
        Measurement* line = measurements.data() + offset;
        VexaConvertSamples(board, records.data() + plan.firstRecord + offset, line,
                           static_cast<std::int32_t>(kSamplesPerLine));
        if (!plan.linesKnown && line[0].invalid != 0) return k;
    }
    return plan.lines;
}

void CheckNames(const ReconvertOptions& options) {
    const std::string tableJson = MetadataFileName(options.table);
    for (const std::string& input : {options.capture, options.lookup, MetadataFileName(options.capture)}) {
        for (const std::string& output : {options.table, tableJson}) {
            if (files::SameFile(input, output))
                throw Refusal(Shown(output) + " is " + Shown(input) + ", which is read: name another table");
        }
    }
}

// The figures of the converted lines, with the lines the recording reported
// samples lost next to.
std::vector<LineFigures> FiguresOf(std::span<const Measurement> measurements, std::int32_t lines,
                                   std::int32_t samplePeriod, const std::vector<std::int32_t>& lostAt) {
    std::vector<LineFigures> figures;
    figures.reserve(static_cast<std::size_t>(std::max(lines, 0)));
    std::vector<double> scratch(kSamplesPerLine);
    for (std::int32_t k = 0; k < lines; ++k) {
        const bool lost = std::find(lostAt.begin(), lostAt.end(), k) != lostAt.end();
        figures.push_back(ComputeLineFigures(measurements.subspan(static_cast<std::size_t>(k) * kSamplesPerLine,
                                                                  kSamplesPerLine),
                                             samplePeriod, lost, scratch));
    }
    return figures;
}

ScanFacts FactsOf(const ReconvertOptions& options, const std::optional<ScanFacts>& recorded, const Plan& plan,
                  const OfflineBoard& prepared, const CaptureReading& capture, const TableFigures& table,
                  std::span<const Measurement> measurements, std::int32_t lines,
                  const std::vector<std::string>& commandLine) {
    // What still holds of the recording: its times, settings, range finder,
    // faults, clock, lines asked and lost, and the instrument profile and
    // pose it was taken with (the same scan, placed the same way).
    ScanFacts facts;
    if (recorded) {
        facts.startTime = recorded->startTime;
        facts.mirrorReadyTime = recorded->mirrorReadyTime;
        facts.endTime = recorded->endTime;
        if (recorded->settings && recorded->settings->samplePeriod && recorded->settings->maxRange)
            facts.settings = recorded->settings;
        if (recorded->laser)
            facts.laser = MetadataBackendPart{.kind = recorded->laser->kind, .path = recorded->laser->path,
                                              .scene = std::nullopt, .seed = std::nullopt, .sha256 = std::nullopt};
        facts.faults = recorded->faults;
        facts.clock = recorded->clock;
        facts.linesAsked = recorded->linesAsked;
        facts.linesWithLostSamples = recorded->linesWithLostSamples;
        facts.profile = recorded->profile;
        facts.pose = recorded->pose;
    }
    facts.programName = "velscan-reconvert";
    facts.programVersion = ProgramVersion();
    facts.system = platform::SystemDescription();
    facts.commandLine = commandLine;
    if (!facts.settings) {
        facts.settings = MetadataSettings{.outputFile = options.table, .port = 0, .board = 0, .samplePeriod = 0,
                                          .lines = 0, .maxRange = 0, .motor = 0, .motorPower = 0};
    }
    facts.settings->samplePeriod = plan.samplePeriod;
    facts.settings->maxRange = plan.maxRange;
    facts.card = MetadataBackendPart{.kind = "replay", .path = options.capture, .scene = std::nullopt,
                                     .seed = std::nullopt, .sha256 = capture.sha256};
    const BoardSlot& slot = BoardTable()[prepared.board];
    facts.calibrationValue = slot.calibrationValue;
    facts.averagingCount = slot.averagingCount;
    facts.encoderCounts = {slot.encoderCounts[0], slot.encoderCounts[1]};
    facts.lookup = LookupFileFacts(options.lookup, slot.sampleRateOffset, prepared.olderLookupVersion);
    if (!facts.linesAsked) facts.linesAsked = lines;
    facts.linesRecorded = lines;
    facts.rows = table.rows;
    facts.rowsWithoutRange = table.rowsWithoutRange;
    facts.lineFigures = FiguresOf(measurements, lines, plan.samplePeriod, facts.linesWithLostSamples);
    facts.capture = MetadataCapture{.name = options.capture,
                                    .records = capture.records.size(),
                                    .sha256 = capture.sha256,
                                    .samplingStartsAtRecord = plan.firstRecord};
    facts.end = MetadataEnd{.how = "complete", .message = std::nullopt, .exitCode = 0};
    return facts;
}

// What a cut capture held beyond the lines converted.
MetadataCutShort CutShortOf(const Plan& plan, const CaptureReading& capture, std::int32_t lines) {
    const std::size_t used = plan.firstRecord + static_cast<std::size_t>(lines) * kSamplesPerLine;
    return MetadataCutShort{.completeLines = lines,
                            .recordsLeftOver = capture.records.size() - used,
                            .bytesLeftOver = capture.partRecordBytes};
}

// The sentence that says where the scan was cut short, in the table's
// metadata and on the console.
std::string CutShortSentence(const MetadataCutShort& cut, const std::optional<std::int32_t>& asked) {
    std::string sentence = "the scan was cut short after " + std::to_string(cut.completeLines) + " complete line" +
                           (cut.completeLines == 1 ? "" : "s");
    if (asked) sentence += " of " + std::to_string(*asked) + " asked";
    sentence += "; " + std::to_string(cut.recordsLeftOver) + " record" + (cut.recordsLeftOver == 1 ? "" : "s") +
                " and " + std::to_string(cut.bytesLeftOver) + " byte" + (cut.bytesLeftOver == 1 ? "" : "s") +
                " after them were left out";
    return sentence;
}

MetadataReconversion ReconversionOf(const ReconvertOptions& options, const std::optional<ScanFacts>& recorded,
                                    const ScanFacts& facts, const std::string& tableSha256) {
    MetadataReconversion again;
    again.capture = options.capture;
    again.captureSha256 = facts.card && facts.card->sha256 ? *facts.card->sha256 : std::string();
    if (recorded) again.captureMetadata = MetadataFileName(options.capture);
    again.recordedLookupSha256 = recorded ? recorded->lookup.sha256 : std::nullopt;
    again.lookupSha256 = facts.lookup.sha256.value_or("");
    again.sameLookup = again.recordedLookupSha256 && *again.recordedLookupSha256 == again.lookupSha256;
    if (recorded && recorded->table) again.recordedTableSha256 = recorded->table->sha256;
    if (again.recordedTableSha256) again.identicalToRecorded = *again.recordedTableSha256 == tableSha256;
    return again;
}

// A table or its metadata file was replaced and could not be put back.
constexpr int kExitChangedInPart = 5;

int Fail(std::FILE* err, const std::string& message) {
    std::fprintf(err, "velscan-reconvert: Error: %s\n", message.c_str());
    return 3;
}

// The table and its metadata file are put in place together or not at all;
// nothing unfinished is kept, since the capture still holds the scan. Exit 3
// when no target was changed, 5 when one could not be put back (the message
// says which file now stands where).
int CommitFailed(std::FILE* err, files::OutputFiles& outputs, const files::CommitFailure& failure) {
    outputs.Discard();
    const std::string target = Shown(failure.output->Target());
    const std::string reason = failure.why.message();
    switch (failure.stage) {
        case files::CommitFailure::Stage::Write:
            return Fail(err, "Can't write the file " + target + ": " + reason);
        case files::CommitFailure::Stage::Replace:
            return Fail(err, "Can't replace the file " + target + ": " + reason + "; nothing was changed");
        case files::CommitFailure::Stage::Undone: break;
    }
    (void)Fail(err, "Can't replace the file " + target + ": " + reason + "; " +
                        Shown(files::DescribeChangedTargets(failure)));
    return kExitChangedInPart;
}

// The converted measurements: one store of the largest table, made once.
std::span<Measurement> Measurements() {
    static std::vector<Measurement> measurements(kMeasurementCapacity);
    return measurements;
}

}  // namespace

int Reconvert(const ReconvertOptions& options, const std::vector<std::string>& commandLine,
              std::FILE* out, std::FILE* err) {
    try {
        CheckNames(options);
        const std::optional<ScanFacts> recorded = ReadRecordedScan(options.capture);
        const CaptureReading capture = ReadCapture(options.capture, recorded);
        const Plan plan = PlanConversion(options, recorded, capture.records);
        const OfflineBoard prepared = PrepareBoard(plan, options.lookup);
        const std::span<Measurement> measurements = Measurements();
        const std::int32_t lines = ConvertLines(prepared.board, plan, capture.records, measurements);
        std::optional<MetadataCutShort> cut;
        if (plan.cutShort) {
            cut = CutShortOf(plan, capture, lines);
            // A table of no line is no scan: nothing is written.
            if (lines == 0)
                throw Refusal("the scan in " + Shown(options.capture) +
                              " was cut short before its first line was complete: there is no line to convert");
        }

        files::OutputFiles outputs(".velscan");
        std::error_code why;
        files::OutputFile* table = outputs.Create(options.table, files::Content::Text, why);
        if (table == nullptr) throw Refusal("Can't create the file " + Shown(options.table) + ": " + why.message());
        // A table written in place (a FIFO, a device) is no file to keep and
        // gets no metadata file, as velscan's.
        const bool inPlace = table->TemporaryPath().empty();
        files::OutputFile* metadata = inPlace ? nullptr : CreateMetadataOutput(outputs, options.table, why);
        if (!inPlace && metadata == nullptr)
            throw Refusal("Can't create the file " + Shown(MetadataFileName(options.table)) + ": " + why.message());
        TableFigures figures;
        const WriteResult written = WriteMeasurementRows(lines, measurements, OutputStream(table->TakeStream()), &figures);
        if (written != WriteResult::Written) throw Refusal(WriteFailureReason(written));

        ScanFacts facts = FactsOf(options, recorded, plan, prepared, capture, figures, measurements, lines, commandLine);
        facts.table = MetadataFile{.name = options.table, .sha256 = figures.sha256};
        facts.reconverted = ReconversionOf(options, recorded, facts, figures.sha256);
        if (cut) {
            facts.reconverted->cutShort = cut;
            facts.end = MetadataEnd{.how = "cut short", .message = CutShortSentence(*cut, facts.linesAsked),
                                    .exitCode = 0};
        }
        if (metadata != nullptr && !WriteMetadataText(*metadata, MetadataText(facts, MetadataDescribes::Table)))
            throw Refusal("Can't write the file " + Shown(metadata->Target()));
        if (const auto failure = outputs.Commit()) return CommitFailed(err, outputs, *failure);
        std::fprintf(out, "Converted %d lines of %s into %s%s\n", lines, Shown(options.capture).c_str(),
                     Shown(options.table).c_str(),
                     cut ? ("; " + *facts.end->message).c_str()
                     : facts.reconverted->identicalToRecorded.value_or(false) ? ", identical to the recorded table"
                                                                             : "");
        return 0;
    } catch (const Refusal& refusal) {
        return Fail(err, refusal.what());
    }
}

}  // namespace velscan::reconvert
