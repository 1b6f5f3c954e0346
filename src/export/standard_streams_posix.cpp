#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "export/standard_streams.hpp"

namespace velscan::exporter {
namespace {

bool Closed(int descriptor) { return fcntl(descriptor, F_GETFD) == -1 && errno == EBADF; }

}  // namespace

StandardStreams PrepareStandardStreams() {
    std::signal(SIGPIPE, SIG_IGN);
    StandardStreams streams;
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (!Closed(descriptor)) continue;
        if (descriptor == 1) streams.outputWasClosed = true;
        // The lowest free number: this very descriptor, as those below are open.
        const int opened = open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened != descriptor && opened >= 0) close(opened);
    }
    return streams;
}

}  // namespace velscan::exporter
