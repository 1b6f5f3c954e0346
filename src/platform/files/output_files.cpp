#include "platform/files/output_files.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <utility>

#include "platform/files/file_system.hpp"
#include "platform/files/unfinished_files.hpp"

namespace velscan::files {

namespace {

// A name part that differs between processes and between calls.
std::string UniqueSuffix(unsigned attempt) {
    static std::atomic<std::uint32_t> counter{0};
    const auto ticks = static_cast<std::uint64_t>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    std::uint64_t mix = (std::uint64_t{system::ProcessNumber()} << 32) ^ ticks ^
                        (std::uint64_t{counter.fetch_add(1)} << 16) ^ attempt;
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix = ".";
    for (int i = 0; i < 8; ++i) {
        suffix += kDigits[mix % 36];
        mix /= 36;
    }
    return suffix + ".tmp";
}

// A new file beside `finalPath`; null with `why` set when none can be made.
std::FILE* CreateBeside(const std::string& finalPath, const std::string& prefix, Content content,
                        std::string& createdPath, std::error_code& why) {
    const std::filesystem::path directory = std::filesystem::path(finalPath).parent_path();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string path = (directory / (prefix + UniqueSuffix(attempt))).string();
        why.clear();
        std::FILE* file = system::CreateExclusive(path, content, why);
        if (file != nullptr) {
            createdPath = path;
            return file;
        }
        if (why != std::errc::file_exists) return nullptr;
    }
    return nullptr;
}

}  // namespace

bool CloseWrittenStream(std::FILE* stream) {
    if (stream == nullptr) return false;
    // What is still buffered is flushed and checked on its own (a C runtime
    // may lose a failed flush inside fclose), then the file reaches the disk
    // before it can take the target's name, so a power cut never leaves a
    // short file under that name. The error flag remembers any write that
    // failed before; the close can fail too.
    const bool writesFailed = !system::FlushToDisk(stream) || std::ferror(stream) != 0;
    const bool closed = std::fclose(stream) == 0;
    return closed && !writesFailed;
}

std::FILE* OpenRunningFile(const std::string& path, Content content, std::error_code& why) {
    return system::OpenWithoutBlocking(path, content, true, why);
}

OutputFile::~OutputFile() { Remove(); }

std::FILE* OutputFile::TakeStream() { return std::exchange(stream_, nullptr); }

bool OutputFile::TemporaryExists() const {
    std::error_code error;
    return !temporaryPath_.empty() && std::filesystem::exists(temporaryPath_, error);
}

bool OutputFile::Close() {
    if (stream_ == nullptr) return true;  // taken: its writer closed it
    return CloseWrittenStream(std::exchange(stream_, nullptr));
}

bool OutputFile::Replace(std::error_code& why) {
    if (settled_) return true;
    if (!temporaryPath_.empty()) {
        if (!system::RenameReplacing(temporaryPath_, finalPath_, why)) return false;
        system::SyncDirectoryOf(finalPath_);
    }
    settled_ = true;
    ForgetUnfinished(slot_);
    return true;
}

void OutputFile::Remove() {
    if (stream_ != nullptr) std::fclose(std::exchange(stream_, nullptr));
    if (settled_) return;
    settled_ = true;
    if (!temporaryPath_.empty()) (void)system::Remove(temporaryPath_);
    ForgetUnfinished(slot_);
}

void OutputFile::Keep() {
    if (stream_ != nullptr) std::fclose(std::exchange(stream_, nullptr));
    if (settled_) return;
    settled_ = true;
    ForgetUnfinished(slot_);
}

OutputFiles::OutputFiles(std::string temporaryPrefix) : prefix_(std::move(temporaryPrefix)) {}

OutputFiles::~OutputFiles() { Discard(); }

OutputFile* OutputFiles::Create(const std::string& target, Content content, std::error_code& why) {
    why.clear();
    const std::optional<system::Target> inspected = system::Inspect(target, why);
    if (!inspected) return nullptr;
    std::unique_ptr<OutputFile> output(new OutputFile());
    output->target_ = target;
    output->finalPath_ = inspected->finalPath;
    output->slot_ = kMaxUnfinishedFiles;
    if (inspected->special) {
        output->stream_ = system::OpenWithoutBlocking(inspected->finalPath, content, false, why);
    } else {
        output->stream_ = CreateBeside(inspected->finalPath, prefix_, content,
                                       output->temporaryPath_, why);
        if (output->stream_ != nullptr) {
            output->slot_ = RegisterUnfinished(output->temporaryPath_);
            if (inspected->permissions)
                system::ApplyPermissions(output->stream_, *inspected->permissions);
        }
    }
    if (output->stream_ == nullptr) {
        if (!why) why = std::make_error_code(std::errc::io_error);
        output->settled_ = true;  // nothing was created
        return nullptr;
    }
    outputs_.push_back(std::move(output));
    return outputs_.back().get();
}

std::optional<CommitFailure> OutputFiles::Commit() {
    // Every output is complete and on the disk before the first takes its
    // target's name.
    for (const auto& output : outputs_) {
        if (!output->Close()) {
            return CommitFailure{CommitFailure::Stage::Write, output.get(),
                                 std::make_error_code(std::errc::io_error)};
        }
    }
    for (const auto& output : outputs_) {
        std::error_code why;
        if (!output->Replace(why))
            return CommitFailure{CommitFailure::Stage::Replace, output.get(), why};
    }
    return std::nullopt;
}

void OutputFiles::Discard() {
    for (const auto& output : outputs_) output->Remove();
}

void OutputFiles::KeepUnfinished() {
    for (const auto& output : outputs_) output->Keep();
}

}  // namespace velscan::files
