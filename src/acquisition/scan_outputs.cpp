#include "acquisition/scan_outputs.hpp"

#include <filesystem>
#include <string>
#include <system_error>

#include "acquisition/exit_codes.hpp"
#include "acquisition/measurement_file.hpp"
#include "acquisition/progress.hpp"
#include "acquisition/run.hpp"
#include "acquisition/run_facts.hpp"
#include "conversion/printable_text.hpp"
#include "platform/files/path_name.hpp"
#include "platform/interrupt.hpp"
#include "scanfile/file_names.hpp"
#include "scanfile/metadata_output.hpp"
#include "scanfile/scan_metadata.hpp"

namespace velscan {

namespace {

std::string Shown(const std::string& text) { return PrintableText(text); }

// A name that leaves no room for ".json" (the longest the file system takes):
// the file is kept all the same, and the operator told.
void WarnNoRoomForMetadata(Run& run, const std::string& described) {
    run.console.ErrorFormat("Warning: no metadata file beside %s: the name %s is too long\n",
                            Shown(described).c_str(), Shown(MetadataFileName(described)).c_str());
}

// The capture's metadata file could not be created or put in place.
void FailCaptureMetadata(Run& run, const std::error_code& why) {
    run.Fail("Error: Can't create the file " + Shown(MetadataFileName(run.capture.Path())) + ": " +
             Shown(why.message()) + "\n");
}

}  // namespace

bool ScanOutputs::Prepare(Run& run) {
    return PrepareTable(run) && PrepareCaptureMetadata(run);
}

// The table goes to a new file beside the target until it is complete, with
// its metadata file beside it, committed with it. A table written in place
// (a FIFO, a device) is no file to keep, and gets none.
bool ScanOutputs::PrepareTable(Run& run) {
    const std::string& name = run.settings.outputFileName;
    std::error_code whyNot;
    table_ = tableSet_.Create(name, files::Content::Text, whyNot);
    if (table_ == nullptr) {
        run.Fail("Error: Can't create the file " + Shown(name) + "\n");
        return false;
    }
    if (table_->TemporaryPath().empty()) return true;
    metadata_ = CreateMetadataOutput(tableSet_, name, whyNot);
    if (metadata_ != nullptr) return true;
    if (whyNot == std::errc::filename_too_long) {
        WarnNoRoomForMetadata(run, name);
        return true;
    }
    run.Fail("Error: Can't create the file " + Shown(MetadataFileName(name)) + "\n");
    tableSet_.Discard();
    return false;
}

// A capture that is no regular file gets no metadata file; the default one,
// made only when sampling starts, will be one.
bool ScanOutputs::PrepareCaptureMetadata(Run& run) {
    const std::string& capture = run.capture.Path();
    std::error_code whyNot;
    if (!run.capture.Present()) return true;
    const std::filesystem::file_status status = std::filesystem::status(files::PathOf(capture), whyNot);
    const bool madeLater = run.context.plan.captureByDefault && !std::filesystem::exists(status);
    if (!madeLater && !std::filesystem::is_regular_file(status)) return true;
    captureMetadata_ = CreateMetadataOutput(captureSet_, capture, whyNot);
    if (captureMetadata_ != nullptr) return true;
    if (whyNot == std::errc::filename_too_long) {
        WarnNoRoomForMetadata(run, capture);
        return true;
    }
    FailCaptureMetadata(run, whyNot);
    tableSet_.Discard();
    return false;
}

// The capture in place, and beside it its metadata file as it stands before
// the first line: all a conversion needs (settings, calibration, lookup
// file, start time, where sampling starts), with `end` null while the scan
// runs. After a crash the capture's complete lines can be converted with it.
// The document of the run's end goes to a new unfinished file. A failure here
// is the run's failure, told at once, but the scan goes on: the table is
// what the operator asked for.
void ScanOutputs::StartCapture(Run& run) {
    if (const std::string failed = run.capture.Start(); !failed.empty()) {
        run.Fail(failed);
        captureSet_.Discard();
        captureMetadata_ = nullptr;
        return;
    }
    if (captureMetadata_ == nullptr) return;
    ScanFacts facts = run.facts;
    facts.capture = MetadataCapture{.name = run.capture.Path(),
                                    .records = std::nullopt,
                                    .sha256 = std::nullopt,
                                    .samplingStartsAtRecord = kCalibrationRecords};
    facts.end.reset();
    facts.endTime.reset();
    // A failure leaves no document to write at the end: it is told once.
    if (!WriteCaptureDocument(run, facts) || !CommitCaptureDocument(run)) return;
    captureSet_.Discard();
    std::error_code whyNot;
    captureMetadata_ = CreateMetadataOutput(captureSet_, run.capture.Path(), whyNot);
    if (captureMetadata_ == nullptr) FailCaptureMetadata(run, whyNot);
}

// Writes `facts` as the capture's metadata into its unfinished file and
// closes it, so that a full disk shows before anything is put in place.
bool ScanOutputs::WriteCaptureDocument(Run& run, const ScanFacts& facts) {
    const bool written =
        WriteMetadataText(*captureMetadata_, MetadataText(facts, MetadataDescribes::Capture)) &&
        files::CloseWrittenStream(captureMetadata_->TakeStream());
    if (!written) {
        run.Fail("Error: Can't write the file " + Shown(captureMetadata_->Target()) + "\n");
        captureSet_.Discard();
        captureMetadata_ = nullptr;
    }
    return written;
}

// Puts the capture's metadata in place; false, with the failure reported,
// when it could not be.
bool ScanOutputs::CommitCaptureDocument(Run& run) {
    const auto failure = captureSet_.Commit();
    if (!failure) return true;
    captureSet_.Discard();
    captureMetadata_ = nullptr;
    FailCaptureMetadata(run, failure->why);
    return false;
}

// The table's metadata: its rows and digest (of the bytes as they were
// written), the capture once closed and the run's end. The capture's
// metadata, the same document, is put in place first, so a failure there is
// the run's failure the table's metadata records; should the table then not
// be put in place, the capture's is written again at the run's end.
bool ScanOutputs::WriteMetadata(Run& run, const TableFigures& written, bool loopFailed) {
    run.facts.rows = written.rows;
    run.facts.rowsWithoutRange = written.rowsWithoutRange;
    run.facts.table = MetadataFile{.name = table_->Target(), .sha256 = written.sha256};
    // No record comes after the lines, so the capture is complete now.
    if (run.capture.Close()) run.facts.capture = run.capture.Facts();
    const int exitCode = loopFailed ? kExitRunFailed : kExitSuccess;
    run.RecordEnd(run.ExitCodeFor(exitCode));
    if (captureMetadata_ != nullptr && run.facts.capture) {
        captureWritten_ = WriteCaptureDocument(run, run.facts) && CommitCaptureDocument(run);
        if (!captureWritten_) run.RecordEnd(run.ExitCodeFor(exitCode));
    }
    if (!WriteMetadataText(*metadata_, MetadataText(run.facts, MetadataDescribes::Table))) {
        run.Fail("Error: Can't write the file " + Shown(metadata_->Target()) + "\n");
        return false;
    }
    return true;
}

// A table and its metadata file are put in place together or not at all.
// Neither replaced: the finished table, the only copy of the scan, stays under
// its unfinished name and the message names it. Where a target could not be
// put back, the message says which file now stands where.
void ScanOutputs::ReportCommitFailure(Run& run, const files::CommitFailure& failure) {
    const std::string target = Shown(failure.output->Target());
    const std::string reason = failure.why.message();
    using Stage = files::CommitFailure::Stage;
    const std::string changed =
        failure.stage == Stage::Undone ? "; " + Shown(files::DescribeChangedTargets(failure)) : std::string();
    if (!table_->TemporaryExists()) {
        tableSet_.Discard();
        if (failure.stage == Stage::Write || failure.stage == Stage::Undone) {
            run.Fail("Error: Can't " + std::string(failure.stage == Stage::Write ? "write" : "replace") +
                     " the file " + target + ": " + reason + changed + "\n");
        } else {
            run.Fail("Error: Can't replace the file " + Shown(table_->Target()) +
                     ": its directory was removed or renamed during the run, and the table with it\n");
        }
        return;
    }
    tableSet_.KeepUnfinished(*table_);  // the finished table is not lost
    const char* verb = failure.stage == Stage::Write ? "write" : "replace";
    run.Fail("Error: Can't " + std::string(verb) + " the file " + target + ": " + reason +
             "; the table is kept in " + Shown(table_->TemporaryPath()) + changed + "\n");
}

// A second stop request while saving ends the program at once: the forced
// end releases link and card and removes the unfinished files, and the
// targets stay as they were.
bool ScanOutputs::Save(Run& run, std::int32_t lines, bool loopFailed) {
    platform::HonourForcedEnd();
    run.console.Error("Saving Data,Please Waiting\n");
    // The largest table takes a fraction of a second to write (1,000,000
    // rows in about 0.1 s), so one line shown before suffices.
    const std::int64_t rows = std::int64_t{lines} * static_cast<std::int64_t>(kSamplesPerLine);
    run.console.Status().Show(FormatSavingStatus(rows));
    TableFigures figures;
    const WriteResult written = WriteMeasurementFile(lines, OutputStream(table_->TakeStream()), &figures);
    run.console.Status().Clear();
    if (written != WriteResult::Written) {
        run.Fail(WriteFailureLine(written));
        tableSet_.Discard();  // an incomplete table never replaces the target
        return false;
    }
    if (metadata_ != nullptr && !WriteMetadata(run, figures, loopFailed)) {
        tableSet_.Discard();  // a table never stands without its metadata
        return false;
    }
    platform::HonourForcedEnd();
    if (const auto failure = tableSet_.Commit()) {
        ReportCommitFailure(run, *failure);
        return false;
    }
    tableCommitted_ = metadata_ != nullptr;
    return true;
}

bool ScanOutputs::DescribeCapture(Run& run, int exitCode) {
    if (captureMetadata_ == nullptr) return true;  // none to write, or its failure told
    if (captureWritten_ && tableCommitted_) return true;
    if (captureWritten_) {
        // Put in place with a table that was not: made again with the run's
        // end as it is now.
        captureSet_.Discard();
        std::error_code whyNot;
        captureMetadata_ = CreateMetadataOutput(captureSet_, run.capture.Path(), whyNot);
        if (captureMetadata_ == nullptr) {
            FailCaptureMetadata(run, whyNot);
            return false;
        }
    }
    ScanFacts facts = run.facts;
    facts.table.reset();
    run.RecordEnd(exitCode);
    facts.end = run.facts.end;
    facts.endTime = run.facts.endTime;
    facts.capture = run.capture.Facts();
    if (!facts.capture) return true;
    return WriteCaptureDocument(run, facts) && CommitCaptureDocument(run);
}

}  // namespace velscan
