#include "conversion/lookup_text_file.hpp"

#include <cstdio>
#include <memory>

namespace velscan {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool ReadWholeFile(const std::string& fileName, std::string& bytes) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file) return false;
    bytes.clear();
    char buffer[8192];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.append(buffer, got);
        if (got < sizeof buffer) break;
    }
    return std::ferror(file.get()) == 0;
}

}  // namespace velscan
