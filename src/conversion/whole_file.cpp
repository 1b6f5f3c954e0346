#include "conversion/whole_file.hpp"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>

namespace velscan {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The system's wording, starting in lower case so it reads on after a name.
std::string Lowered(std::string text) {
    if (!text.empty()) {
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    return text;
}

// The path a narrow name stands for, read as UTF-8 (the programs' encoding
// on Windows, where a path made straight from a std::string would take one
// letter per byte); elsewhere the bytes unchanged. The same rule as the file
// writer's, kept here because this layer uses the standard library only.
std::filesystem::path PathOfName(const std::string& name) {
    try {
        return std::filesystem::path(std::u8string(name.begin(), name.end()));
    } catch (const std::exception&) {
        return std::filesystem::path(name);  // wide paths only: no UTF-8 text
    }
}

bool Fail(std::string* reason, std::string why) {
    if (reason != nullptr) *reason = std::move(why);
    return false;
}

}  // namespace

bool ReadWholeFile(const std::string& fileName, std::string& bytes, std::uintmax_t maxBytes,
                   std::string* reason) {
    // The type is checked before the open, which would wait on a FIFO.
    std::error_code error;
    const std::filesystem::file_status status =
        std::filesystem::status(PathOfName(fileName), error);
    if (error) return Fail(reason, Lowered(error.message()));
    if (!std::filesystem::is_regular_file(status)) {
        return Fail(reason, std::filesystem::exists(status) ? "not a regular file"
                                                             : "no such file or directory");
    }
    errno = 0;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file) {
        return Fail(reason, errno != 0 ? Lowered(std::strerror(errno)) : "cannot be opened");
    }
    bytes.clear();
    char buffer[8192];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        // The bound holds whatever the file turned into since the check.
        if (bytes.size() + got > maxBytes) {
            return Fail(reason, "larger than " + std::to_string(maxBytes) + " bytes");
        }
        bytes.append(buffer, got);
        if (got < sizeof buffer) break;
    }
    if (std::ferror(file.get()) != 0) return Fail(reason, "a read error");
    return true;
}

}  // namespace velscan
