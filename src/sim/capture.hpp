#pragma once
// Capture of every raw record a card delivers (VELSCAN_CAPTURE), for any card:
// a decorator around the opened device appends the records of each successful
// block read to one file, in the card's own 16-byte format. In a run the file
// holds the 20 calibration records first, then every record read while sampling.

#include <cstdio>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

#include "platform/card_device.hpp"

namespace velscan::sim {

class CaptureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::string path_;
    std::unique_ptr<std::FILE, Closer> file_;
    std::string problem_;  // the system's reason for the first failure
};

// Null when `device` is null.
std::unique_ptr<platform::CardDevice> WrapWithCapture(std::unique_ptr<platform::CardDevice> device,
                                                      std::shared_ptr<CaptureFile> capture);

}  // namespace velscan::sim
