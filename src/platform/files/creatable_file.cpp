#include "platform/files/creatable_file.hpp"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/files/path_name.hpp"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace velscan::files {

namespace {

namespace fs = std::filesystem;

// errno's text, for the platform's own access check.
std::string ErrorText(int code) { return std::generic_category().message(code); }

bool Writable(const fs::path& path, std::string& why) {
#ifdef _WIN32
    constexpr int kWrite = 2;
    const int denied = ::_waccess(path.c_str(), kWrite);
#else
    const int denied = ::access(path.c_str(), W_OK);
#endif
    if (denied == 0) return true;
    why = ErrorText(errno);
    return false;
}

}  // namespace

std::string WhyFileCannotBeCreated(const std::string& path) {
    const fs::path target = PathOf(path);
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    std::string why;
    if (fs::exists(status)) {
        if (fs::is_directory(status)) return ErrorText(EISDIR);
        return Writable(target, why) ? std::string() : why;
    }
    if (error && error != std::errc::no_such_file_or_directory) return error.message();

    fs::path parent = target.parent_path();
    if (parent.empty()) parent = ".";
    const fs::file_status parentStatus = fs::status(parent, error);
    if (!fs::exists(parentStatus)) return ErrorText(ENOENT);
    if (!fs::is_directory(parentStatus)) return ErrorText(ENOTDIR);
    return Writable(parent, why) ? std::string() : why;
}

}  // namespace velscan::files
