#pragma once
// The capture as velscan writes it, read as it grows: each read takes the
// whole records appended since the last one and keeps a record cut short (the
// writer is between two writes) for the next. A capture that shrinks was
// replaced or emptied: it is not the one being followed.

#include <cstdint>
#include <string>
#include <vector>

#include "conversion/samples.hpp"

namespace velscan::live {

class CaptureTail {
public:
    explicit CaptureTail(std::string path) : path_(std::move(path)) {}

    // Appends the whole records new since the last read to `records`. False,
    // with `problem` set to why (in words that follow the capture's name),
    // when it cannot be read; a capture not there yet is no problem.
    bool ReadNew(std::vector<RawSample>& records, std::string& problem);

    std::uint64_t BytesRead() const { return bytesRead_; }

private:
    std::string path_;
    std::uint64_t bytesRead_ = 0;  // of whole records
};

}  // namespace velscan::live
