#pragma once
// The measurement table: a tab-separated text file, one header line and one
// row per measurement, every field followed by a tab, no final line break.
// The writer also gives what the table's metadata file says of it (its
// SHA-256 and the rows without range), taken from the bytes as they go out,
// so no program reads back a table it has just written.

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "conversion/samples.hpp"

namespace velscan {

// An output stream opened for writing in text mode ("\n" becomes the
// platform's line end). Closed by its destructor if not closed before.
class OutputStream {
public:
    OutputStream() = default;
    explicit OutputStream(std::FILE* file) : file_(file) {}
    OutputStream(OutputStream&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
    OutputStream& operator=(OutputStream&& other) noexcept;
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;
    ~OutputStream();

    static OutputStream OpenForWriting(const std::string& path);  // mode "w"
    bool IsOpen() const { return file_ != nullptr; }
    // Writes all bytes; false on a write error.
    bool Write(const char* data, std::size_t size);
    // Closes; false when the close (or a flush of buffered data) failed.
    bool Close();

private:
    std::FILE* file_ = nullptr;
};

enum class WriteResult { Written, WriteFailed, CloseFailed };

// The line that reports a failed write for standard error; null for Written.
// The writer prints nothing itself, so the run's console can clear its status
// line first.
const char* WriteFailureLine(WriteResult result);
// The same without "Error: " and the line break, to go into another message.
const char* WriteFailureReason(WriteResult result);

// What a written table holds, for its metadata file.
struct TableFigures {
    std::uint64_t rows = 0;
    std::uint64_t rowsWithoutRange = 0;
    // Of the bytes as they land in a file opened in text mode (each "\n" as
    // the platform's line end); empty when the table was not written whole.
    std::string sha256;
};

// Whether a row shows no range: its distance field, written with two
// decimals, reads 0 ("0.00" or "-0.00"), the rule velscan-export counts by.
// That is every distance of magnitude below one half of the last decimal.
inline bool ShowsNoRange(double distance) { return distance > -0.005 && distance < 0.005; }

// Rows of `rows` that show no range.
std::uint64_t RowsWithoutRange(std::span<const Measurement> rows);

// Writes the header and the first `lines` * 5000 records of `measurements`
// (fewer if the span is shorter) and closes the stream in every case.
// `figures`, when given, receives the rows written, the rows without range
// and, when the table was written whole, its SHA-256.
WriteResult WriteMeasurementRows(std::int32_t lines, std::span<const Measurement> measurements,
                                 OutputStream stream, TableFigures* figures = nullptr);

// The table's text of `rows` in memory, header first, as the writer writes
// it (with "\n" line ends): what a reader of the file would read.
std::string MeasurementRowsText(std::span<const Measurement> rows);

}  // namespace velscan
