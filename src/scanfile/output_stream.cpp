#include <cstdio>
#include <utility>

#include "scanfile/measurement_table.hpp"
#include "platform/files/output_files.hpp"

namespace velscan {

OutputStream& OutputStream::operator=(OutputStream&& other) noexcept {
    if (this != &other) {
        if (file_ != nullptr) std::fclose(file_);
        file_ = std::exchange(other.file_, nullptr);
    }
    return *this;
}

OutputStream::~OutputStream() {
    if (file_ != nullptr) std::fclose(file_);
}

OutputStream OutputStream::OpenForWriting(const std::string& path) {
    // Text mode: on Windows the runtime stores each "\n" as CR LF.
    return OutputStream(std::fopen(path.c_str(), "w"));
}

bool OutputStream::Write(const char* data, std::size_t size) {
    if (file_ == nullptr) return false;
    if (size == 0) return true;
    return std::fwrite(data, 1, size, file_) == size;
}

bool OutputStream::Close() {
    if (file_ == nullptr) return false;
    // The file writer's close: flushed, on the disk, closed, every failure seen.
    return files::CloseWrittenStream(std::exchange(file_, nullptr));
}

}  // namespace velscan
