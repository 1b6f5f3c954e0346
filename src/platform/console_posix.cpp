// The console on POSIX systems. On a terminal the keyboard is put into raw mode
// (no line editing, no echo) so a single q is seen without Enter; signals stay
// on, so Ctrl+C still interrupts. Standard input may also be a pipe or a file,
// which a script uses to send q.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/console.hpp"

namespace velscan::platform {

namespace {

// The terminal mode found before raw mode went on. Written once, before the
// flag is raised; the restore path (which a signal handler may take) only
// reads it while the flag is up.
termios gOriginalMode{};
std::atomic<bool> gRawModeActive{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the restore path must be signal-safe");

void RestoreAtExit() { RestoreConsoleMode(); }

// Raw mode on standard input; false when it is no terminal, when another
// console already holds it, or when this process runs in the background (a
// change would stop it with SIGTTOU).
bool EnterRawMode() {
    if (!::isatty(STDIN_FILENO) || gRawModeActive.load()) return false;
    const pid_t foreground = ::tcgetpgrp(STDIN_FILENO);
    if (foreground != -1 && foreground != ::getpgrp()) return false;

    termios mode{};
    if (::tcgetattr(STDIN_FILENO, &mode) != 0) return false;
    gOriginalMode = mode;
    mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;

    static const bool registered = std::atexit(RestoreAtExit) == 0;
    (void)registered;
    gRawModeActive.store(true);
    // TCSANOW keeps keys typed before this point: they are read one per poll.
    if (::tcsetattr(STDIN_FILENO, TCSANOW, &mode) != 0) {
        gRawModeActive.store(false);
        return false;
    }
    return true;
}

class PosixConsole final : public Console {
public:
    PosixConsole() : ownsRawMode_(EnterRawMode()) {}
    ~PosixConsole() override {
        if (ownsRawMode_) RestoreConsoleMode();
    }
    PosixConsole(const PosixConsole&) = delete;
    PosixConsole& operator=(const PosixConsole&) = delete;

    // A byte that poll() shows is read at once and kept for ReadKey: only a
    // read can tell a waiting key from the end of a pipe or file, and the end
    // must not count as a key.
    bool KeyWaiting() override {
        if (pending_) return true;
        if (ended_) return false;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (::poll(&input, 1, 0) <= 0) return false;
        if ((input.revents & (POLLIN | POLLHUP)) == 0) {  // closed or failing input
            ended_ = true;
            return false;
        }
        pending_ = ReadByte();
        return pending_.has_value();
    }

    int ReadKey() override {
        if (pending_) return Take();
        return ReadByte().value_or(EOF);
    }

private:
    int Take() {
        const int key = *pending_;
        pending_.reset();
        return key;
    }

    // One byte from standard input; nothing at its end (remembered) or on an
    // error. A signal that interrupts the read ends it without a byte.
    std::optional<int> ReadByte() {
        if (ended_) return std::nullopt;
        unsigned char byte = 0;
        const ssize_t count = ::read(STDIN_FILENO, &byte, 1);
        if (count == 1) return byte;
        if (count == 0 || (errno != EINTR && errno != EAGAIN)) ended_ = true;
        return std::nullopt;
    }

    const bool ownsRawMode_;
    bool ended_ = false;
    std::optional<int> pending_;
};

}  // namespace

std::unique_ptr<Console> CreateSystemConsole() { return std::make_unique<PosixConsole>(); }

void RestoreConsoleMode() noexcept {
    if (gRawModeActive.exchange(false)) ::tcsetattr(STDIN_FILENO, TCSANOW, &gOriginalMode);
}

}  // namespace velscan::platform
