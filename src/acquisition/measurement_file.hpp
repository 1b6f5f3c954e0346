#pragma once
// The measurement table: a tab-separated text file, one header line and one
// row per measurement, every field followed by a tab, no final line break.

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "conversion/samples.hpp"

namespace velscan {

// The process-wide measurement array of 1,000,000 records, zero at start.
std::span<Measurement, kMeasurementCapacity> MeasurementArray();

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

// Writes the header and the first `lines` * 5000 records of `measurements`
// (fewer if the span is shorter) and closes the stream in every case.
WriteResult WriteMeasurementRows(std::int32_t lines, std::span<const Measurement> measurements,
                                 OutputStream stream);

// Writes the first `lines` * 5000 records of the process-wide measurement array.
WriteResult WriteMeasurementFile(std::int32_t lines, OutputStream stream);

}  // namespace velscan
