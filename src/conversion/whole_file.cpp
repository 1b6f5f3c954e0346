#include "conversion/lookup_text_file.hpp"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace velscan {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool ReadWholeFile(const std::string& fileName, std::string& bytes, std::uintmax_t maxBytes) {
    // The type is checked before the open, which would wait on a FIFO.
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error)) return false;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file) return false;
    bytes.clear();
    char buffer[8192];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        // The bound holds whatever the file turned into since the check.
        if (bytes.size() + got > maxBytes) return false;
        bytes.append(buffer, got);
        if (got < sizeof buffer) break;
    }
    return std::ferror(file.get()) == 0;
}

}  // namespace velscan
