#include "reconvert/reconvert.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <stdexcept>

#include "acquisition/measurement_file.hpp"
#include "acquisition/metadata_output.hpp"
#include "acquisition/program_version.hpp"
#include "acquisition/run_configuration.hpp"
#include "acquisition/run_facts.hpp"
#include "acquisition/scan_metadata.hpp"
#include "cardlib/vexa.hpp"
#include "conversion/beam_geometry.hpp"
#include "conversion/lookup_table.hpp"
#include "conversion/printable_text.hpp"
#include "platform/digest/sha256.hpp"
#include "platform/files/file_identity.hpp"
#include "platform/files/output_files.hpp"
#include "platform/system_facts.hpp"
#include "reconvert/recorded_metadata.hpp"

namespace velscan::reconvert {

namespace {

namespace fs = std::filesystem;

// A capture holds the calibration records, every line the run read and at
// most one more (the line a failure or a stop cut short).
constexpr std::uintmax_t kMaxCaptureBytes =
    (kCalibrationRecords + (kMaxLines + 1) * kSamplesPerLine) * sizeof(RawSample);
constexpr std::uintmax_t kMaxMetadataBytes = std::uintmax_t{4} << 20;

// Every failure ends the work with one message.
struct Refusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Shown(const std::string& path) { return PrintableText(path); }

// A regular input file of at most `limit` bytes: its size.
std::uintmax_t CheckInput(const std::string& path, std::uintmax_t limit, const char* what) {
    std::error_code why;
    if (!fs::is_regular_file(path, why)) throw Refusal("the " + std::string(what) + " " + Shown(path) + " is no readable file");
    const std::uintmax_t size = fs::file_size(path, why);
    if (why || size > limit) throw Refusal("the " + std::string(what) + " " + Shown(path) + " is too large to be one");
    return size;
}

std::vector<RawSample> ReadCapture(const std::string& path) {
    const std::uintmax_t size = CheckInput(path, kMaxCaptureBytes, "capture");
    if (size % sizeof(RawSample) != 0)
        throw Refusal("the capture " + Shown(path) + " is no whole number of 16-byte records");
    std::vector<RawSample> records(size / sizeof(RawSample));
    std::ifstream file(path, std::ios::binary);
    file.read(reinterpret_cast<char*>(records.data()), static_cast<std::streamsize>(size));
    if (!file || file.gcount() != static_cast<std::streamsize>(size))
        throw Refusal("the capture " + Shown(path) + " could not be read");
    if (records.size() < kCalibrationRecords)
        throw Refusal("the capture " + Shown(path) + " holds fewer than the 20 calibration records");
    return records;
}

std::optional<RecordedScan> ReadRecordedScan(const std::string& capture) {
    const std::string name = MetadataFileName(capture);
    std::error_code why;
    if (!fs::exists(name, why)) return std::nullopt;
    CheckInput(name, kMaxMetadataBytes, "metadata file");
    std::ifstream file(name, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) throw Refusal(Shown(name) + " could not be read");
    auto parsed = ParseRecordedScan(text, name);
    if (auto* problem = std::get_if<std::string>(&parsed)) throw Refusal(*problem);
    return std::get<RecordedScan>(std::move(parsed));
}

// What the conversion runs with, and which records it converts.
struct Plan {
    std::int32_t samplePeriod = 0, maxRange = 0, calibrationValue = 0;
    std::size_t firstRecord = kCalibrationRecords;
    std::int32_t lines = 0;
    bool linesKnown = false;  // from the metadata: exactly these lines
};

Plan PlanConversion(const ReconvertOptions& options, const std::optional<RecordedScan>& recorded,
                    std::span<const RawSample> records) {
    Plan plan;
    const auto period = options.samplePeriod ? options.samplePeriod : recorded ? recorded->samplePeriod : std::nullopt;
    const auto range = options.maxRange ? options.maxRange : recorded ? recorded->maxRange : std::nullopt;
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
    if (plan.calibrationValue < 600 || plan.calibrationValue > 1000)
        throw Refusal("the calibration value " + std::to_string(plan.calibrationValue) +
                      " lies outside 600 to 1000: the recording could not have used it");
    if (recorded && recorded->samplingStartsAtRecord) {
        if (*recorded->samplingStartsAtRecord < kCalibrationRecords || *recorded->samplingStartsAtRecord > records.size())
            throw Refusal("the metadata's sampling start lies outside the capture");
        plan.firstRecord = static_cast<std::size_t>(*recorded->samplingStartsAtRecord);
    }
    const std::size_t complete = (records.size() - plan.firstRecord) / kSamplesPerLine;
    if (recorded && recorded->linesRecorded) {
        plan.lines = *recorded->linesRecorded;
        plan.linesKnown = true;
        if (plan.lines < 0 || static_cast<std::size_t>(plan.lines) > complete || plan.lines > static_cast<std::int32_t>(kMaxLines))
            throw Refusal("the capture holds fewer lines than its metadata file says were recorded");
    } else {
        plan.lines = static_cast<std::int32_t>(std::min<std::size_t>(complete, kMaxLines));
    }
    return plan;
}

// The card the conversion's board stands for: the records come from the
// capture, so any control reaching it is refused.
class OfflineCard final : public platform::CardDevice {
public:
    platform::ControlResult Control(std::uint32_t, std::span<const std::byte>, std::span<std::byte>) override {
        return {};
    }
};

// The board set up as the run sets it up before sampling, without a card.
std::uint32_t PrepareBoard(const Plan& plan, const std::string& lookup) {
    VexaInitBoards();
    constexpr std::uint32_t kBoard = 0;
    BoardSlot& slot = BoardTable()[kBoard];
    slot.inUse = 1;
    slot.device = std::make_unique<OfflineCard>();
    slot.calibrationValue = plan.calibrationValue;
    VexaSetEncoder(kBoard, 1, 0, kMirrorEncoderCountsPerTurn);
    VexaSetEncoder(kBoard, 2, 0, kSlowAxisEncoderCountsPerTurn);
    if (VexaLoadLookupFile(kBoard, lookup.c_str()) == 0)
        throw Refusal("the lookup file " + Shown(lookup) + " could not be read");
    // Without a range finder the settings are stored, and no command is sent.
    VexaSetSampleAndRange(kBoard, nullptr, plan.maxRange, static_cast<std::uint32_t>(plan.samplePeriod));
    if (slot.samplePeriod != static_cast<std::uint32_t>(plan.samplePeriod) || slot.maxRange != plan.maxRange)
        throw Refusal("the sample period " + std::to_string(plan.samplePeriod) + " is one the card refuses");
    return kBoard;
}

// Converts the lines into the measurement array; the number converted. A
// line whose first measurement is invalid ends a run's lines: without the
// recorded count, it ends them here too.
std::int32_t ConvertLines(std::uint32_t board, const Plan& plan, std::span<const RawSample> records) {
    const auto measurements = MeasurementArray();
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

ScanFacts FactsOf(const ReconvertOptions& options, const std::optional<RecordedScan>& recorded, const Plan& plan,
                  std::int32_t lines, const std::vector<std::string>& commandLine) {
    ScanFacts facts = recorded ? recorded->carried : ScanFacts{};
    facts.programName = "velscan-reconvert";
    facts.programVersion = ProgramVersion();
    facts.system = platform::SystemDescription();
    facts.commandLine = commandLine;
    if (!facts.settings) {
        facts.settings = MetadataSettings{.outputFile = options.table, .samplePeriod = plan.samplePeriod,
                                          .maxRange = plan.maxRange};
    }
    facts.settings->samplePeriod = plan.samplePeriod;
    facts.settings->maxRange = plan.maxRange;
    facts.card = MetadataBackendPart{.kind = "replay", .path = options.capture, .scene = std::nullopt,
                                     .seed = std::nullopt, .sha256 = platform::Sha256HexOfFile(options.capture)};
    RecordConfiguration(facts, BoardTable()[0],
                        ConfigurationProgress{.calibrated = true, .lookupAttempted = true, .lookupRead = true,
                                              .rangeSet = true},
                        options.lookup, LookupFileOlderVersion());
    if (!facts.linesAsked) facts.linesAsked = lines;
    facts.linesRecorded = lines;
    const std::size_t rows = static_cast<std::size_t>(lines) * kSamplesPerLine;
    facts.rows = rows;
    facts.rowsWithoutRange = RowsWithoutRange(MeasurementArray().first(rows));
    facts.capture = CaptureFacts(options.capture);
    if (facts.capture) facts.capture->samplingStartsAtRecord = plan.firstRecord;
    facts.end = MetadataEnd{.how = "complete", .message = std::nullopt, .exitCode = 0};
    return facts;
}

MetadataReconversion ReconversionOf(const ReconvertOptions& options, const std::optional<RecordedScan>& recorded,
                                    const ScanFacts& facts, const std::string& tableSha256) {
    MetadataReconversion again;
    again.capture = options.capture;
    again.captureSha256 = facts.card && facts.card->sha256 ? *facts.card->sha256 : std::string();
    if (recorded) again.captureMetadata = MetadataFileName(options.capture);
    again.recordedLookupSha256 = recorded ? recorded->lookupSha256 : std::nullopt;
    again.lookupSha256 = facts.lookup.sha256.value_or("");
    again.sameLookup = again.recordedLookupSha256 && *again.recordedLookupSha256 == again.lookupSha256;
    again.recordedTableSha256 = recorded ? recorded->tableSha256 : std::nullopt;
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

}  // namespace

int Reconvert(const ReconvertOptions& options, const std::vector<std::string>& commandLine,
              std::FILE* out, std::FILE* err) {
    try {
        CheckNames(options);
        const std::vector<RawSample> records = ReadCapture(options.capture);
        const std::optional<RecordedScan> recorded = ReadRecordedScan(options.capture);
        const Plan plan = PlanConversion(options, recorded, records);
        CheckInput(options.lookup, std::uintmax_t{64} << 20, "lookup file");
        const std::uint32_t board = PrepareBoard(plan, options.lookup);
        const std::int32_t lines = ConvertLines(board, plan, records);

        files::OutputFiles outputs(".velscan");
        std::error_code why;
        files::OutputFile* table = outputs.Create(options.table, files::Content::Text, why);
        if (table == nullptr) throw Refusal("Can't create the file " + Shown(options.table) + ": " + why.message());
        files::OutputFile* metadata = CreateMetadataOutput(outputs, options.table, why);
        if (metadata == nullptr)
            throw Refusal("Can't create the file " + Shown(MetadataFileName(options.table)) + ": " + why.message());
        if (const char* failed = WriteFailureLine(WriteMeasurementFile(lines, OutputStream(table->TakeStream()))))
            throw Refusal(std::string(failed).substr(7, std::string(failed).size() - 8));  // "Error: ...\n"
        const std::optional<std::string> digest = platform::Sha256HexOfFile(table->TemporaryPath());
        if (!digest) throw Refusal("Can't read back the file " + Shown(table->TemporaryPath()));

        ScanFacts facts = FactsOf(options, recorded, plan, lines, commandLine);
        facts.table = MetadataFile{.name = options.table, .sha256 = *digest};
        facts.reconverted = ReconversionOf(options, recorded, facts, *digest);
        if (!WriteMetadataText(*metadata, MetadataText(facts, MetadataDescribes::Table)))
            throw Refusal("Can't write the file " + Shown(metadata->Target()));
        if (const auto failure = outputs.Commit()) return CommitFailed(err, outputs, *failure);
        std::fprintf(out, "Converted %d lines of %s into %s%s\n", lines, Shown(options.capture).c_str(),
                     Shown(options.table).c_str(),
                     facts.reconverted->identicalToRecorded.value_or(false) ? ", identical to the recorded table"
                                                                           : "");
        return 0;
    } catch (const Refusal& refusal) {
        return Fail(err, refusal.what());
    }
}

}  // namespace velscan::reconvert
