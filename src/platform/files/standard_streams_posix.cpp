#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

#include "platform/files/standard_streams.hpp"

namespace velscan::files {

ClosedStandardStreams OpenClosedStandardStreams() noexcept {
    ClosedStandardStreams closed;
    bool* const flags[] = {&closed.input, &closed.output, &closed.error};
    for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
        *flags[descriptor] = true;
        // The lowest free number is this one: the ones below are open by now.
        const int opened = ::open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened != -1 && opened != descriptor) {
            // Not expected; the descriptor still must not stay free.
            (void)::dup2(opened, descriptor);
            (void)::close(opened);
        }
    }
    return closed;
}

void IgnoreWriteSignals() noexcept {
    (void)std::signal(SIGPIPE, SIG_IGN);
    (void)std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace velscan::files
