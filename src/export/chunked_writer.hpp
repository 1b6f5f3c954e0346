#pragma once
// A format's records gathered in one large buffer that goes out whenever less
// than one record's room is left, so a million points take a few writes.

#include <cstddef>
#include <cstdio>
#include <vector>

#include "export/stream_failure.hpp"

namespace velscan::exporter {

class ChunkedWriter {
public:
    // `largestRecord`: the most bytes one record may take.
    ChunkedWriter(std::FILE* out, std::size_t largestRecord)
        : out_(out), buffer_(kChunkBytes), cursor_(buffer_.data()),
          flushPoint_(buffer_.data() + kChunkBytes - largestRecord) {}

    // Where the next record goes; hand its end to Wrote.
    char* Next() const { return cursor_; }
    void Wrote(char* end) {
        cursor_ = end;
        if (cursor_ >= flushPoint_) Flush();
    }
    // Writes what is gathered; throws StreamFailure when the stream takes less.
    void Flush() {
        WriteAll(out_, buffer_.data(), static_cast<std::size_t>(cursor_ - buffer_.data()));
        cursor_ = buffer_.data();
    }

private:
    static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
    std::FILE* out_;
    std::vector<char> buffer_;
    char* cursor_;
    char* flushPoint_;
};

}  // namespace velscan::exporter
