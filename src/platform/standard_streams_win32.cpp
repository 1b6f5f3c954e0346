#include <io.h>

#include <cstdio>

#include "platform/standard_streams.hpp"

namespace velscan::platform {

namespace {

// A stream with no handle behind it is put on the null device, so that a
// later open cannot take its descriptor number.
void OpenIfClosed(int descriptor, std::FILE* stream, const char* mode) {
    if (_get_osfhandle(descriptor) != -1 && _get_osfhandle(descriptor) != -2) return;
    (void)std::freopen("NUL", mode, stream);
}

}  // namespace

void OpenClosedStandardStreams() noexcept {
    OpenIfClosed(0, stdin, "r");
    OpenIfClosed(1, stdout, "w");
    OpenIfClosed(2, stderr, "w");
}

}  // namespace velscan::platform
