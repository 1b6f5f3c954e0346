#include "scanfile/capture_file.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "conversion/printable_text.hpp"
#include "conversion/whole_file.hpp"
#include "platform/files/output_files.hpp"
#include "platform/files/path_name.hpp"

namespace velscan {

namespace {

// A FIFO or device as capture is opened without waiting for a reader.
std::FILE* OpenCapture(const std::string& path) {
    std::error_code whyNot;
    return files::OpenRunningFile(path, files::Content::Binary, whyNot);
}

}  // namespace

CaptureReading ReadCaptureFile(const std::string& path) {
    CaptureReading reading;
    std::string bytes;
    if (!ReadWholeFile(path, bytes, kMaxCaptureBytes, &reading.reason)) {
        reading.failure = CaptureReading::Failure::Unreadable;
        return reading;
    }
    reading.bytes = bytes.size();
    if (bytes.size() % kRawSampleBytes != 0) {
        reading.failure = CaptureReading::Failure::NotWholeRecords;
        return reading;
    }
    reading.records.resize(bytes.size() / kRawSampleBytes);
    if (!bytes.empty()) std::memcpy(reading.records.data(), bytes.data(), bytes.size());
    reading.sha256 = platform::Sha256Hex(std::as_bytes(std::span(bytes.data(), bytes.size())));
    return reading;
}

CaptureFile::CaptureFile(const std::string& path)
    : path_(path), file_(OpenCapture(path)) {
    if (!file_) throw CaptureError("VELSCAN_CAPTURE: cannot create " + PrintableText(path));
    std::error_code ignored;
    regular_ = std::filesystem::is_regular_file(files::PathOf(path), ignored);
}

void CaptureFile::Append(std::span<const std::byte> records) {
    if (Failed() || !file_) return;
    errno = 0;
    if (std::fwrite(records.data(), 1, records.size(), file_.get()) != records.size() ||
        std::fflush(file_.get()) != 0) {
        problem_ = errno != 0 ? std::strerror(errno) : "write failed";
        return;
    }
    // Counted and hashed as they land, so nobody reads the capture back.
    hash_.Update(records);
    bytes_ += records.size();
}

std::string CaptureFile::Finish() {
    if (file_) {
        errno = 0;
        if (std::fclose(file_.release()) != 0 && !Failed())
            problem_ = errno != 0 ? std::strerror(errno) : "close failed";
        if (!Failed() && regular_)
            figures_ = CaptureFigures{.records = bytes_ / kRawSampleBytes, .sha256 = hash_.FinishHex()};
    }
    if (!Failed()) return {};
    return "Error: the capture file " + PrintableText(path_) + " could not be written completely: " + problem_ +
           "\n";
}

}  // namespace velscan
