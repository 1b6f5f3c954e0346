#include "platform/output_file.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velscan::platform {

namespace {

// A name part that differs between processes and between calls.
std::string UniqueSuffix(unsigned attempt) {
    static std::atomic<std::uint32_t> counter{0};
#ifdef _WIN32
    const auto processId = static_cast<std::uint32_t>(_getpid());
#else
    const auto processId = static_cast<std::uint32_t>(getpid());
#endif
    const auto ticks = static_cast<std::uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint64_t mix = (std::uint64_t{processId} << 32) ^ ticks ^
                        (std::uint64_t{counter.fetch_add(1)} << 16) ^ attempt;
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix = ".";
    for (int i = 0; i < 8; ++i) {
        suffix += kDigits[mix % 36];
        mix /= 36;
    }
    return suffix + ".tmp";
}

}  // namespace

std::FILE* CreateNewTextFile(const std::string& prefix, std::string& createdPath) {
    createdPath.clear();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string path = prefix + UniqueSuffix(attempt);
#ifdef _WIN32
        const int fd = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_TEXT,
                             _S_IREAD | _S_IWRITE);
#else
        const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
#endif
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
#ifdef _WIN32
        std::FILE* file = _fdopen(fd, "w");
#else
        std::FILE* file = fdopen(fd, "w");
#endif
        if (file == nullptr) {
#ifdef _WIN32
            _close(fd);
            _unlink(path.c_str());
#else
            close(fd);
            unlink(path.c_str());
#endif
            return nullptr;
        }
        createdPath = path;
        return file;
    }
    return nullptr;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return !error;
#endif
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    // _isatty is true for any character device (NUL too); a console answers
    // GetConsoleMode.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

}  // namespace velscan::platform
