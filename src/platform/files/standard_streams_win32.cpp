#include <io.h>

#include <cstdio>

#include "platform/files/standard_streams.hpp"

namespace velscan::files {

namespace {

// A stream with no handle behind it is put on the null device, so that a
// later open cannot take its descriptor number; true when it was closed.
bool OpenIfClosed(int descriptor, std::FILE* stream, const char* mode) {
    if (_get_osfhandle(descriptor) != -1 && _get_osfhandle(descriptor) != -2) return false;
    (void)std::freopen("NUL", mode, stream);
    return true;
}

}  // namespace

ClosedStandardStreams OpenClosedStandardStreams() noexcept {
    ClosedStandardStreams closed;
    closed.input = OpenIfClosed(0, stdin, "r");
    closed.output = OpenIfClosed(1, stdout, "w");
    closed.error = OpenIfClosed(2, stderr, "w");
    return closed;
}

void IgnoreWriteSignals() noexcept {}

}  // namespace velscan::files
