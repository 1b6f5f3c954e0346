// Preloaded into Wine by serial_e2e.sh: a pseudo-terminal has no modem lines,
// so the modem-line controls Wine makes for EscapeCommFunction and
// SetCommState fail there. On the one pseudo-terminal named by
// MODEM_SHIM_PTY this shim emulates DTR and RTS, and appends to the file
// named by MODEM_SHIM_LOG one line per event on that terminal, in order:
//   settings <speed>   a tcsetattr
//   DTR on|off, RTS on|off
//   purge              a tcflush
//   write <bytes>      what was written, escaped
// Built natively (not for Windows) as a shared object: g++ -shared -fPIC.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex g_mutex;
// The emulated TIOCM_* bits: DTR and RTS up, as a serial port's are once opened.
int g_lines = TIOCM_DTR | TIOCM_RTS;

// True when fd is the pseudo-terminal under test (same device number).
bool IsWatched(int fd) {
    const char* pty = std::getenv("MODEM_SHIM_PTY");
    if (pty == nullptr || *pty == '\0') return false;
    struct stat watched {};
    struct stat actual {};
    if (stat(pty, &watched) != 0 || fstat(fd, &actual) != 0) return false;
    return S_ISCHR(actual.st_mode) && actual.st_rdev == watched.st_rdev;
}

void Log(const std::string& line) {
    const char* path = std::getenv("MODEM_SHIM_LOG");
    if (path == nullptr || *path == '\0') return;
    const int saved = errno;
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        const std::string text = line + "\n";
        (void)!::write(fd, text.data(), text.size());
        close(fd);
    }
    errno = saved;
}

std::string Escaped(const void* data, std::size_t size) {
    std::string text;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = bytes[i];
        if (c == '\n') {
            text += "\\n";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '\\') {
            text += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

void LogLineChanges(int before, int after) {
    if ((before ^ after) & TIOCM_DTR) Log(after & TIOCM_DTR ? "DTR on" : "DTR off");
    if ((before ^ after) & TIOCM_RTS) Log(after & TIOCM_RTS ? "RTS on" : "RTS off");
}

template <typename Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

unsigned BaudOf(speed_t speed) {
    switch (speed) {
        case B1200: return 1200;
        case B2400: return 2400;
        case B4800: return 4800;
        case B9600: return 9600;
        case B19200: return 19200;
        case B38400: return 38400;
        case B57600: return 57600;
        case B115200: return 115200;
        default: return 0;
    }
}

}  // namespace

extern "C" {

int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    static const auto next = Next<int (*)(int, unsigned long, ...)>("ioctl");

    const bool modemRequest = request == TIOCMBIS || request == TIOCMBIC ||
                              request == TIOCMSET || request == TIOCMGET;
    if (!modemRequest || !IsWatched(fd)) return next(fd, request, argument);

    const std::lock_guard<std::mutex> lock(g_mutex);
    int* bits = static_cast<int*>(argument);
    const int before = g_lines;
    if (request == TIOCMGET) {
        *bits = g_lines;
        return 0;
    }
    if (request == TIOCMBIS) g_lines |= *bits;
    if (request == TIOCMBIC) g_lines &= ~*bits;
    if (request == TIOCMSET) g_lines = *bits;
    LogLineChanges(before, g_lines);
    return 0;
}

int tcsetattr(int fd, int when, const struct termios* settings) noexcept {
    static const auto next = Next<int (*)(int, int, const struct termios*)>("tcsetattr");
    const int result = next(fd, when, settings);
    if (IsWatched(fd)) {
        const std::lock_guard<std::mutex> lock(g_mutex);
        Log("settings " + std::to_string(BaudOf(cfgetospeed(settings))));
    }
    return result;
}

int tcflush(int fd, int queue) noexcept {
    static const auto next = Next<int (*)(int, int)>("tcflush");
    if (IsWatched(fd)) {
        const std::lock_guard<std::mutex> lock(g_mutex);
        Log("purge");
    }
    return next(fd, queue);
}

ssize_t write(int fd, const void* data, size_t size) {
    static const auto next = Next<ssize_t (*)(int, const void*, size_t)>("write");
    const ssize_t written = next(fd, data, size);
    if (written > 0 && IsWatched(fd)) {
        const std::lock_guard<std::mutex> lock(g_mutex);
        Log("write " + Escaped(data, static_cast<std::size_t>(written)));
    }
    return written;
}

}  // extern "C"
