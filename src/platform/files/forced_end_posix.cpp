#include <unistd.h>

#include <csignal>

#include "platform/files/forced_end.hpp"
#include "platform/files/unfinished_files.hpp"

namespace velscan::files {

namespace {

constexpr int kRequests[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Async-signal-safe: the registry's removal and _exit.
void EndNow(int signal) {
    RemoveUnfinishedFiles();
    _exit(128 + signal);
}

}  // namespace

void EndOnRequestRemovingUnfinishedFiles() noexcept {
    struct sigaction action {};
    action.sa_handler = EndNow;
    sigemptyset(&action.sa_mask);
    // One request at a time: a second one waits for the first's end.
    for (const int request : kRequests) sigaddset(&action.sa_mask, request);
    for (const int request : kRequests) (void)sigaction(request, &action, nullptr);
}

}  // namespace velscan::files
