#include "scanfile/capture_file.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

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
    reading.partRecordBytes = bytes.size() % kRawSampleBytes;
    if (reading.partRecordBytes != 0) reading.failure = CaptureReading::Failure::NotWholeRecords;
    reading.records.resize(bytes.size() / kRawSampleBytes);
    if (!reading.records.empty())
        std::memcpy(reading.records.data(), bytes.data(), reading.records.size() * kRawSampleBytes);
    reading.sha256 = platform::Sha256Hex(std::as_bytes(std::span(bytes.data(), bytes.size())));
    return reading;
}

CaptureFile::CaptureFile(const std::string& path, Opening opening)
    : path_(path), deferred_(opening == Opening::OnBegin) {
    if (deferred_) return;
    file_.reset(OpenCapture(path));
    if (!file_) throw CaptureError("VELSCAN_CAPTURE: cannot create " + PrintableText(path));
    std::error_code ignored;
    regular_ = std::filesystem::is_regular_file(files::PathOf(path), ignored);
}

std::string CaptureFile::Begin() {
    if (deferred_) {
        deferred_ = false;
        std::error_code why;
        file_.reset(files::OpenRunningFile(path_, files::Content::Binary, why));
        const std::vector<std::byte> held = std::exchange(held_, {});
        if (!file_) {
            // The run fails on this line; nothing more is appended or told.
            return "Error: Can't create the file " + PrintableText(path_) + ": " +
                   (why ? why.message() : std::string("the system gave no reason")) + "\n";
        }
        std::error_code ignored;
        regular_ = std::filesystem::is_regular_file(files::PathOf(path_), ignored);
        // A write that fails here is told at the end, as any later one.
        (void)Write(held);
    }
    return {};
}

bool CaptureFile::Write(std::span<const std::byte> records) {
    errno = 0;
    if (std::fwrite(records.data(), 1, records.size(), file_.get()) != records.size() ||
        std::fflush(file_.get()) != 0) {
        problem_ = errno != 0 ? std::strerror(errno) : "write failed";
        return false;
    }
    // Counted and hashed as they land, so nobody reads the capture back.
    hash_.Update(records);
    bytes_ += records.size();
    return true;
}

void CaptureFile::Append(std::span<const std::byte> records) {
    if (Failed()) return;
    // Before Begin: the calibration's few records, held in memory.
    if (deferred_) {
        held_.insert(held_.end(), records.begin(), records.end());
        return;
    }
    if (file_) (void)Write(records);
}

std::string CaptureFile::Finish() {
    deferred_ = false;  // never begun: no file, nothing lost
    held_.clear();
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
