#include <cstdio>
#include <utility>

#include "acquisition/measurement_file.hpp"
#include "platform/output_target.hpp"

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
    // What is still buffered is flushed and checked on its own (a C runtime
    // may lose a failed flush inside fclose: Wine's does), then the table
    // reaches the disk before it can take the target's name, so a power cut
    // never leaves a short file under that name. The stream's error flag
    // remembers any write that failed before; the close can fail too.
    const bool writesFailed = !platform::FlushToDisk(file_) || std::ferror(file_) != 0;
    const bool closed = std::fclose(std::exchange(file_, nullptr)) == 0;
    return closed && !writesFailed;
}

}  // namespace velscan
