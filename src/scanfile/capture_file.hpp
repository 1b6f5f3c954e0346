#pragma once
// The capture of raw records (VELSCAN_CAPTURE): the card's 16-byte records
// (RawSample, little-endian) one after the other, as the card delivered
// them, with nothing before or between. In a run the calibration's 20
// records come first, then every record read while sampling.
//
// One size rule for every reader: a capture is at most kMaxCaptureBytes. A
// full run's capture (200 lines of 5000 records and the calibration) is about
// 16 MB; the bound leaves room for captures of longer or repeated reads.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "conversion/samples.hpp"
#include "platform/digest/sha256.hpp"

namespace velscan {

inline constexpr std::uintmax_t kMaxCaptureBytes = std::uintmax_t{64} << 20;

// A capture read whole: its records and the SHA-256 of its bytes, or why it
// cannot be used.
struct CaptureReading {
    enum class Failure {
        None,
        Unreadable,       // no regular file, larger than kMaxCaptureBytes, or a read error
        NotWholeRecords,  // its size is not a multiple of 16 bytes
    };
    Failure failure = Failure::None;
    std::string reason;  // Unreadable: why, in words that follow the name
    std::uintmax_t bytes = 0;
    std::vector<RawSample> records;
    std::string sha256;
};

CaptureReading ReadCaptureFile(const std::string& path);

class CaptureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a finished capture holds, counted and hashed as it was appended.
struct CaptureFigures {
    std::uint64_t records = 0;
    std::string sha256;
};

// The capture written as the run goes.
class CaptureFile {
public:
    // Creates or empties the file; throws CaptureError when it cannot.
    explicit CaptureFile(const std::string& path);

    // Appends and flushes, so the capture survives a run that ends at once.
    // After a failed write nothing more is appended.
    void Append(std::span<const std::byte> records);
    bool Failed() const { return !problem_.empty(); }
    const std::string& Path() const { return path_; }
    // Closes the file; empty when it holds every record, else one complete
    // "Error: ...\n" line saying why not. Later calls give the same answer.
    std::string Finish();
    // Once finished with every record, and when the capture is a regular
    // file (not a FIFO nor a device): its records and digest. Else nullopt.
    const std::optional<CaptureFigures>& Figures() const { return figures_; }

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::string path_;
    std::unique_ptr<std::FILE, Closer> file_;
    bool regular_ = false;
    std::uint64_t bytes_ = 0;
    platform::Sha256 hash_;
    std::optional<CaptureFigures> figures_;
    std::string problem_;  // the system's reason for the first failure
};

}  // namespace velscan
