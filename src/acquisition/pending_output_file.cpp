#include "acquisition/pending_output_file.hpp"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/output_file.hpp"
#include "platform/output_target.hpp"

namespace velscan {

PendingOutputFile::PendingOutputFile(std::string target) : target_(std::move(target)) {
    std::error_code error;
    // A directory of that name could never be replaced by the table.
    if (target_.empty() || std::filesystem::is_directory(target_, error)) return;
    const platform::OutputTarget inspected = platform::InspectOutputTarget(target_);
    finalPath_ = inspected.finalPath;
    if (inspected.inPlace) {
        std::FILE* file = platform::OpenInPlace(finalPath_);
        if (file != nullptr) stream_ = OutputStream(file);
        created_ = file != nullptr;
        return;
    }
    const std::filesystem::path directory = std::filesystem::path(finalPath_).parent_path();
    std::FILE* file =
        platform::CreateNewTextFile((directory / ".velscan").string(), temporaryPath_);
    if (file == nullptr) return;
    if (inspected.permissions) platform::ApplyPermissions(file, *inspected.permissions);
    stream_ = OutputStream(file);
    created_ = true;
}

bool PendingOutputFile::TemporaryExists() const {
    std::error_code error;
    return !temporaryPath_.empty() && std::filesystem::exists(temporaryPath_, error);
}

PendingOutputFile::~PendingOutputFile() { Discard(); }

OutputStream PendingOutputFile::TakeStream() { return std::move(stream_); }

bool PendingOutputFile::PutInPlace() {
    if (settled_ || !Created()) return false;
    settled_ = true;
    if (temporaryPath_.empty()) return true;  // written in place
    if (!platform::RenameReplacing(temporaryPath_, finalPath_)) return false;
    platform::SyncDirectoryOf(finalPath_);
    return true;
}

void PendingOutputFile::Discard() {
    if (settled_ || !Created()) return;
    settled_ = true;
    stream_ = OutputStream();  // a held stream is closed before the file goes
    if (temporaryPath_.empty()) return;  // written in place: nothing to remove
    std::error_code error;
    std::filesystem::remove(temporaryPath_, error);
}

}  // namespace velscan
