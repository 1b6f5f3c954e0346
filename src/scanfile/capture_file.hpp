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
    // Every whole record, also when the size is not whole records (a run cut
    // short in the middle of a write), and the bytes of the part record after
    // them.
    std::vector<RawSample> records;
    std::uintmax_t partRecordBytes = 0;
    std::string sha256;  // of every byte, the part record's included
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
    enum class Opening {
        AtOnce,    // created (or emptied) by the constructor
        OnBegin,   // created by Begin; the records before it are held until then
    };
    // Creates or empties the file (AtOnce); throws CaptureError when it cannot.
    explicit CaptureFile(const std::string& path, Opening opening = Opening::AtOnce);

    // Creates a capture opened OnBegin and writes the records held so far;
    // empty when it is open (also when it was opened at once), else one
    // "Error: ...\n" line, and nothing more is appended. Until Begin, an
    // existing file of that name is left as it was; a capture never begun
    // is no file at all.
    std::string Begin();
    bool Begun() const { return static_cast<bool>(file_); }

    // Appends and flushes, so the capture survives a run that ends at once
    // (held in memory before Begin). After a failed write nothing more is
    // appended.
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
    bool Write(std::span<const std::byte> records);

    std::string path_;
    std::unique_ptr<std::FILE, Closer> file_;
    bool deferred_ = false;             // opened OnBegin and not begun yet
    std::vector<std::byte> held_;       // the records appended before Begin
    bool regular_ = false;
    std::uint64_t bytes_ = 0;
    platform::Sha256 hash_;
    std::optional<CaptureFigures> figures_;
    std::string problem_;  // the system's reason for the first failure
};

}  // namespace velscan
