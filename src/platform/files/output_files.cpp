#include "platform/files/output_files.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <utility>

#include "platform/files/file_system.hpp"
#include "platform/files/path_name.hpp"
#include "platform/files/unfinished_files.hpp"

namespace velscan::files {

namespace {

// A name part that differs between processes and between calls.
std::string UniqueSuffix(unsigned attempt, const char* ending) {
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
    return suffix + ending;
}

// A new file beside `finalPath`; null with `why` set when none can be made.
std::FILE* CreateBeside(const std::string& finalPath, const std::string& prefix, Content content,
                        std::string& createdPath, std::error_code& why) {
    const std::filesystem::path directory = PathOf(finalPath).parent_path();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string path = NameOf(directory / PathOf(prefix + UniqueSuffix(attempt, ".tmp")));
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

// Gives the file at `finalPath` a second name beside it, so its content
// survives the rename over it. Where the file system has no hard links, the
// file itself moves to that name (the target is then missing until the
// rename that follows, inside the commit's lock).
bool KeepEarlier(const std::string& finalPath, const std::string& prefix, std::string& kept,
                 std::error_code& why) {
    const std::filesystem::path directory = PathOf(finalPath).parent_path();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string path = NameOf(directory / PathOf(prefix + UniqueSuffix(attempt, ".old")));
        why.clear();
        if (system::LinkTo(finalPath, path, why)) {
            kept = path;
            return true;
        }
        if (why == std::errc::file_exists) continue;
        std::error_code ignored;
        if (std::filesystem::exists(PathOf(path), ignored)) continue;
        if (!system::RenameReplacing(finalPath, path, why)) return false;
        kept = path;
        return true;
    }
    return false;
}

}  // namespace

bool CloseWrittenStream(std::FILE* stream) {
    std::error_code ignored;
    return CloseWrittenStream(stream, ignored);
}

bool CloseWrittenStream(std::FILE* stream, std::error_code& why) {
    if (stream == nullptr) return false;
    // What is still buffered is flushed and checked on its own (a C runtime
    // may lose a failed flush inside fclose), then the file reaches the disk
    // before it can take the target's name, so a power cut never leaves a
    // short file under that name. The error flag remembers any write that
    // failed before; the close can fail too.
    errno = 0;
    bool writesFailed = !system::FlushToDisk(stream);
    if (writesFailed && errno != 0) why = {errno, std::generic_category()};
    writesFailed = writesFailed || std::ferror(stream) != 0;
    errno = 0;
    const bool closed = std::fclose(stream) == 0;
    if (!closed && !why && errno != 0) why = {errno, std::generic_category()};
    if (closed && !writesFailed) return true;
    if (!why) why = std::make_error_code(std::errc::io_error);
    return false;
}

std::FILE* OpenRunningFile(const std::string& path, Content content, std::error_code& why) {
    return system::OpenWithoutBlocking(path, content, true, why);
}

OutputFile::~OutputFile() { Remove(); }

std::FILE* OutputFile::TakeStream() { return std::exchange(stream_, nullptr); }

bool OutputFile::TemporaryExists() const {
    std::error_code error;
    return !temporaryPath_.empty() && std::filesystem::exists(PathOf(temporaryPath_), error);
}

bool OutputFile::Close(std::error_code& why) {
    if (stream_ == nullptr) return true;  // taken: its writer closed it
    return CloseWrittenStream(std::exchange(stream_, nullptr), why);
}

void OutputFile::Settle() {
    settled_ = true;
    ForgetUnfinished(slot_);
}

void OutputFile::Remove() {
    if (stream_ != nullptr) std::fclose(std::exchange(stream_, nullptr));
    if (settled_) return;
    if (!temporaryPath_.empty()) (void)system::Remove(temporaryPath_);
    Settle();
}

void OutputFile::Keep() {
    if (stream_ != nullptr) std::fclose(std::exchange(stream_, nullptr));
    if (settled_) return;
    Settle();
}

// An output renamed over its target inside a commit, and where the target's
// earlier content is kept until the whole set is in place.
struct OutputFiles::Replaced {
    OutputFile* output;
    std::string earlier;  // empty: the target did not exist
};

std::string DescribeChangedTargets(const CommitFailure& failure) {
    std::string text;
    for (const ChangedTarget& changed : failure.changed) {
        if (!text.empty()) text += "; ";
        text += changed.target + " now holds the new file (" +
                (changed.earlierKeptIn.empty() ? std::string("it did not exist before")
                                               : "its earlier content is kept in " + changed.earlierKeptIn) +
                ")";
    }
    return text;
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
        // A forced end between the creation and the registration would leave
        // the new file behind: it waits until the file is registered.
        const CommitWindow registering;
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
        std::error_code why;
        if (!output->Close(why))
            return CommitFailure{CommitFailure::Stage::Write, output.get(), why};
    }
    std::vector<OutputFile*> pending;
    std::vector<std::string> finalPaths;
    for (const auto& output : outputs_) {
        if (output->settled_ || output->temporaryPath_.empty()) continue;
        pending.push_back(output.get());
        finalPaths.push_back(output->finalPath_);
    }
    // From here to the last rename no other committer of these targets
    // renames, and no forced end cuts in.
    const system::FolderLocks locks(finalPaths);
    const CommitWindow window;
    // Whatever can be known before the first rename is found before it.
    std::vector<bool> existed(pending.size(), false);
    for (std::size_t i = 0; i < pending.size(); ++i) {
        if (!pending[i]->TemporaryExists())
            return CommitFailure{CommitFailure::Stage::Replace, pending[i],
                                 std::make_error_code(std::errc::no_such_file_or_directory)};
        bool exists = false;
        if (const std::error_code why = system::WhyNotReplaceable(pending[i]->finalPath_, exists))
            return CommitFailure{CommitFailure::Stage::Replace, pending[i], why};
        existed[i] = exists;
    }
    std::vector<Replaced> replaced;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        OutputFile& output = *pending[i];
        Replaced step{&output, {}};
        std::error_code why;
        bool renamed = !existed[i] || KeepEarlier(output.finalPath_, prefix_, step.earlier, why);
        if (renamed) {
            if (beforeRename_) beforeRename_(output);
            renamed = system::RenameReplacing(output.temporaryPath_, output.finalPath_, why);
            if (!renamed && !step.earlier.empty()) {
                // The earlier content back under its name (it may have moved).
                std::error_code ignored;
                if (!system::RenameReplacing(step.earlier, output.finalPath_, ignored))
                    (void)system::Remove(step.earlier);
            }
        }
        if (!renamed) {
            CommitFailure failure{CommitFailure::Stage::Replace, &output, why};
            PutBack(replaced, failure);
            return failure;
        }
        replaced.push_back(std::move(step));
    }
    // The whole set is in place: the earlier contents go.
    for (const Replaced& step : replaced) {
        if (!step.earlier.empty()) (void)system::Remove(step.earlier);
        system::SyncDirectoryOf(step.output->finalPath_);
    }
    for (const auto& output : outputs_) output->Settle();
    return std::nullopt;
}

// Undoes the renames of a failed commit, last first: each new file goes back
// to its unfinished name, and the target gets its earlier content back or,
// when it had none, is gone again. What cannot be undone is named in
// `failure`, which then says Undone.
void OutputFiles::PutBack(std::vector<Replaced>& replaced, CommitFailure& failure) {
    for (auto step = replaced.rbegin(); step != replaced.rend(); ++step) {
        OutputFile& output = *step->output;
        std::error_code why;
        const bool movedBack = system::RenameReplacing(output.finalPath_, output.temporaryPath_, why);
        bool restored = movedBack;
        if (movedBack && !step->earlier.empty()) {
            restored = system::RenameReplacing(step->earlier, output.finalPath_, why);
            // Not restored: the new file takes the name again rather than
            // leave the target missing.
            if (!restored) (void)system::RenameReplacing(output.temporaryPath_, output.finalPath_, why);
        }
        if (!restored) {
            failure.changed.push_back({output.target_, step->earlier});
            failure.stage = CommitFailure::Stage::Undone;
            if (!output.TemporaryExists()) output.Settle();  // it is the target now
        }
    }
}

void OutputFiles::Discard() {
    for (const auto& output : outputs_) output->Remove();
}

void OutputFiles::KeepUnfinished() {
    for (const auto& output : outputs_) output->Keep();
}

void OutputFiles::KeepUnfinished(const OutputFile& kept) {
    for (const auto& output : outputs_) {
        if (output.get() == &kept) {
            output->Keep();
        } else {
            output->Remove();
        }
    }
}

}  // namespace velscan::files
