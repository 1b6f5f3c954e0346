#include "acquisition/pending_output_file.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/output_file.hpp"

namespace velscan {

PendingOutputFile::PendingOutputFile(std::string target) : target_(std::move(target)) {
    std::error_code error;
    // A directory of that name could never be replaced by the table.
    if (target_.empty() || std::filesystem::is_directory(target_, error)) return;
    std::FILE* file = platform::CreateNewTextFile(target_, temporaryPath_);
    if (file != nullptr) stream_ = OutputStream(file);
}

PendingOutputFile::~PendingOutputFile() { Discard(); }

OutputStream PendingOutputFile::TakeStream() { return std::move(stream_); }

bool PendingOutputFile::PutInPlace() {
    if (settled_ || !Created()) return false;
    settled_ = true;
    return platform::RenameReplacing(temporaryPath_, target_);
}

void PendingOutputFile::Discard() {
    if (settled_ || !Created()) return;
    settled_ = true;
    stream_ = OutputStream();  // a held stream is closed before the file goes
    std::error_code error;
    std::filesystem::remove(temporaryPath_, error);
}

}  // namespace velscan
