#pragma once
// How a format's writer reports that its stream failed or its encoder gave
// up. The writer knows only the stream; whoever handed it the stream names
// the file in the message.

#include <cstddef>
#include <cstdio>
#include <stdexcept>

namespace velscan::exporter {

// what() is the reason, or empty when the stream only reported an error.
class StreamFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes all bytes; throws StreamFailure when the stream takes fewer.
inline void WriteAll(std::FILE* out, const void* data, std::size_t size) {
    if (size != 0 && std::fwrite(data, 1, size, out) != size) throw StreamFailure("");
}

}  // namespace velscan::exporter
