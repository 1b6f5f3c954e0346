// The serial port on POSIX systems: a terminal device driven through termios.
// Each call of the seam keeps the meaning of its Windows counterpart:
//   SetEventMask, SetQueueSizes  no effect here (no events are waited for, and
//                                the kernel sizes its own queues)
//   Purge                        tcflush of the directions the flags name
//   SetTimeouts                  kept; only the write time-out is used
//   ApplyLineSettings            raw 8N1 at the baud rate, flow control as
//                                selected, then DTR and RTS lowered
//   SetDtr                       TIOCMBIS / TIOCMBIC on DTR
//   Write                        non-blocking writes, poll() for room until the
//                                write time-out has passed
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>

#include "platform/serial_port.hpp"
#include "platform/unique_fd.hpp"

namespace velscan::platform {

namespace {

std::optional<speed_t> SpeedFor(std::uint32_t baudRate) {
    switch (baudRate) {
        case 50: return B50;
        case 75: return B75;
        case 110: return B110;
        case 134: return B134;
        case 150: return B150;
        case 200: return B200;
        case 300: return B300;
        case 600: return B600;
        case 1200: return B1200;
        case 1800: return B1800;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
#ifdef B57600
        case 57600: return B57600;
#endif
#ifdef B115200
        case 115200: return B115200;
#endif
#ifdef B230400
        case 230400: return B230400;
#endif
#ifdef B460800
        case 460800: return B460800;
#endif
#ifdef B921600
        case 921600: return B921600;
#endif
        default: return std::nullopt;
    }
}

class PosixSerialPort final : public SerialPort {
public:
    explicit PosixSerialPort(UniqueFd fd) : fd_(std::move(fd)) {}
    ~PosixSerialPort() override { Close(); }
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    bool SetEventMask(std::uint32_t) override { return static_cast<bool>(fd_); }

    bool SetQueueSizes(std::uint32_t, std::uint32_t) override { return static_cast<bool>(fd_); }

    bool Purge(std::uint32_t flags) override {
        if (!fd_) return false;
        const bool input = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
        const bool output = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
        if (!input && !output) return true;
        const int queue = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
        return ::tcflush(fd_.get(), queue) == 0;
    }

    bool SetTimeouts(const CommTimeouts& timeouts) override {
        if (!fd_) return false;
        timeouts_ = timeouts;
        return true;
    }

    bool ApplyLineSettings(std::uint32_t baudRate) override {
        if (!fd_) return false;
        const std::optional<speed_t> speed = SpeedFor(baudRate);
        if (!speed) return false;

        termios mode{};
        if (::tcgetattr(fd_.get(), &mode) != 0) return false;
        // Raw bytes both ways: no line editing, echo, signals or translation,
        // so "S20\n" leaves the port as exactly four bytes.
        mode.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                                ICRNL | IXON | IXOFF | IXANY);
        mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        // 8 data bits, no parity, one stop bit, receiver on, modem status lines ignored.
        mode.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
        mode.c_cflag |= CS8 | CREAD | CLOCAL;
        // Reads return at once with what is buffered (nothing is ever read).
        mode.c_cc[VMIN] = 0;
        mode.c_cc[VTIME] = 0;

        if (::cfsetispeed(&mode, *speed) != 0 || ::cfsetospeed(&mode, *speed) != 0) return false;
        if (::tcsetattr(fd_.get(), TCSANOW, &mode) != 0) return false;

        // tcsetattr succeeds when any part of the change was taken: read the
        // settings back and refuse a port that kept another speed or size.
        termios applied{};
        if (::tcgetattr(fd_.get(), &applied) != 0) return false;
        if (::cfgetospeed(&applied) != *speed || (applied.c_cflag & CSIZE) != CS8) return false;

        // DTR and RTS held inactive; the link raises DTR itself once configured.
        // A device without modem lines (a pseudo-terminal) refuses this, which
        // does not matter.
        int lines = TIOCM_DTR | TIOCM_RTS;
        ::ioctl(fd_.get(), TIOCMBIC, &lines);
        return true;
    }

    bool SetDtr(bool raised) override {
        if (!fd_) return false;
        int lines = TIOCM_DTR;
        return ::ioctl(fd_.get(), raised ? TIOCMBIS : TIOCMBIC, &lines) == 0;
    }

    WriteOutcome Write(std::span<const std::uint8_t> bytes) override {
        if (!fd_) return WriteOutcome::Failed;
        using SteadyClock = std::chrono::steady_clock;
        const std::uint64_t limitMs =
            std::uint64_t{timeouts_.writeTotalTimeoutMultiplier} * bytes.size() +
            timeouts_.writeTotalTimeoutConstant;
        const bool bounded = timeouts_.writeTotalTimeoutMultiplier != 0 ||
                             timeouts_.writeTotalTimeoutConstant != 0;
        const SteadyClock::time_point deadline =
            SteadyClock::now() + std::chrono::milliseconds(limitMs);

        // Once the port has had to wait, the write counts as waited for,
        // however the wait ends (as a pending write on Windows).
        bool waited = false;
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t written = ::write(fd_.get(), bytes.data() + sent, bytes.size() - sent);
            if (written > 0) {
                sent += static_cast<std::size_t>(written);
                continue;
            }
            if (written < 0 && errno == EINTR) continue;
            if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return waited ? WriteOutcome::Waited : WriteOutcome::Failed;

            // The output queue is full: wait for room, no longer than the time-out.
            waited = true;
            int waitMs = -1;
            if (bounded) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                    deadline - SteadyClock::now());
                if (left.count() <= 0) return WriteOutcome::Waited;
                waitMs = left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
            }
            pollfd room{fd_.get(), POLLOUT, 0};
            const int ready = ::poll(&room, 1, waitMs);
            if (ready < 0 && errno != EINTR) return WriteOutcome::Waited;
            if (ready > 0 && (room.revents & POLLOUT) == 0) return WriteOutcome::Waited;  // hang-up or error
        }
        return waited ? WriteOutcome::Waited : WriteOutcome::Completed;
    }

    void Close() override {
        if (!fd_) return;
        ::ioctl(fd_.get(), TIOCNXCL);
        fd_.reset();  // also releases the advisory lock
    }

private:
    UniqueFd fd_;
    CommTimeouts timeouts_{};
};

}  // namespace

SerialPortOpening OpenSerialPortDevice(const std::string& name) {
    const auto failed = [&name](const std::string& why) {
        return SerialPortOpening{nullptr, name + ": " + why};
    };
    // Non-blocking: the open must not wait for a carrier, and a write must be
    // able to stop at its time-out. No controlling terminal is taken.
    UniqueFd fd(::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return failed(std::strerror(errno));
    if (!::isatty(fd.get())) return failed("not a terminal");
    // TIOCEXCL refuses later opens, but not those of a privileged process; the
    // advisory lock is refused to every second opener that asks for it.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) return failed("in use by another program");
        return failed(std::string("cannot be locked: ") + std::strerror(errno));
    }
    if (::ioctl(fd.get(), TIOCEXCL) != 0)
        return failed(std::string("cannot be held exclusively: ") + std::strerror(errno));
    return {std::make_unique<PosixSerialPort>(std::move(fd)), {}};
}

}  // namespace velscan::platform
