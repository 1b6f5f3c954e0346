#pragma once
// The files a run saves: the table and its metadata file, committed together,
// and the capture's metadata file. Every one of them is created before the
// hardware is touched, so a name that cannot be written is known before the
// scan; until committed each is an unfinished file the forced end removes.

#include <cstdint>

#include "platform/files/output_files.hpp"
#include "scanfile/measurement_table.hpp"
#include "scanfile/scan_metadata.hpp"

namespace velscan {

class Run;

class ScanOutputs {
public:
    // Creates the table's unfinished file (a target that is no regular file
    // is opened in place), its metadata file and the capture's. False, with
    // the failure reported, when one cannot be created; a name too long for
    // ".json" only leaves that metadata file out, with a warning.
    bool Prepare(Run& run);

    // Puts the capture in place (when it is made only now) and its metadata
    // file as it stands before the first line, `end` null. When either could
    // not be, the failure is reported and fails the run, and the scan goes on.
    void StartCapture(Run& run);

    // Writes `lines` lines of the measurement array and the table's metadata
    // (the capture's too, so both record the same end), and puts them in
    // place together. False, with the failure reported, when they could not
    // be written or put in place (the finished table then kept under its
    // unfinished name, when it is the only copy of the scan).
    bool Save(Run& run, std::int32_t lines, bool loopFailed);

    // The capture's metadata once the run's exit code is known: the document
    // written with the table when the table was saved, else the run's end
    // now. False, with the failure reported, when it could not be put in place.
    bool DescribeCapture(Run& run, int exitCode);

private:
    bool PrepareTable(Run& run);
    bool PrepareCaptureMetadata(Run& run);
    bool WriteMetadata(Run& run, const TableFigures& written, bool loopFailed);
    bool WriteCaptureDocument(Run& run, const ScanFacts& facts);
    bool CommitCaptureDocument(Run& run);
    void ReportCommitFailure(Run& run, const files::CommitFailure& failure);

    files::OutputFiles tableSet_{".velscan"};
    files::OutputFile* table_ = nullptr;
    files::OutputFile* metadata_ = nullptr;  // the table's; null: none
    files::OutputFiles captureSet_{".velscan"};
    files::OutputFile* captureMetadata_ = nullptr;  // null: none
    bool captureWritten_ = false;  // put in place with the table's facts
    bool tableCommitted_ = false;
};

}  // namespace velscan
