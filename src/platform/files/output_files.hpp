#pragma once
// The one way both programs write their output files.
//
// Each output is written to a new file beside its target, created
// exclusively under a short unique name (so it fits wherever the target's
// name does), and takes the target's name only when the whole set is
// committed: first every stream is flushed, put on the disk and closed, and
// only when all of that succeeded is each file renamed over its target. A
// failed write therefore replaces nothing, and a set dropped unfinished
// leaves every target as it was and no file behind.
//
// A symbolic link as target is written through (the file it names is
// replaced, dangling links included; the link stays); an existing file keeps
// its permission bits; a target that exists and is no regular file (a FIFO,
// a device) is written in place, opened without ever waiting for a reader.
// Every unfinished file is registered, so a forced end removes them all.

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/files/content.hpp"

namespace velscan::files {

// One output of a set.
class OutputFile {
public:
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // The name the output was asked for.
    const std::string& Target() const { return target_; }
    // The stream to write the output into; null once taken or closed.
    std::FILE* Stream() const { return stream_; }
    // Hands the stream to a writer that closes it itself (with
    // CloseWrittenStream). The set then trusts the caller: commit only after
    // that close succeeded.
    std::FILE* TakeStream();
    // The unfinished file; empty when the target is written in place.
    const std::string& TemporaryPath() const { return temporaryPath_; }
    // False when the unfinished file is gone (its directory removed meanwhile).
    bool TemporaryExists() const;

private:
    friend class OutputFiles;
    OutputFile() = default;
    bool Close();                  // flush, disk, close; true when every write arrived
    bool Replace(std::error_code& why);
    void Remove();                 // closes and removes an unfinished file
    void Keep();                   // leaves the unfinished file where it is

    std::string target_;
    std::string finalPath_;
    std::string temporaryPath_;
    std::FILE* stream_ = nullptr;
    std::size_t slot_ = static_cast<std::size_t>(-1);  // none until registered
    bool settled_ = false;
};

// Why a commit failed, and which output it was.
struct CommitFailure {
    enum class Stage {
        Write,    // a write, flush or close failed: no target was replaced
        Replace,  // the rename failed; the finished file of `output` is still there
    };
    Stage stage;
    const OutputFile* output;
    std::error_code why;  // the system's reason where it gave one
};

// A set of outputs committed together.
class OutputFiles {
public:
    // `temporaryPrefix` starts each unfinished file's name (".velscan" gives
    // ".velscan.xxxxxxxx.tmp").
    explicit OutputFiles(std::string temporaryPrefix);
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;
    // Removes every file not committed or kept.
    ~OutputFiles();

    // Creates the unfinished file for `target`, or opens a target that is no
    // regular file. Null when the output cannot be written there; `why` says
    // why (a loop of links, a name too long, a directory, a FIFO nobody
    // reads, no such folder, no permission).
    OutputFile* Create(const std::string& target, Content content, std::error_code& why);

    // Closes every stream still held, then renames each unfinished file over
    // its target. Nullopt when every output is in place. On a Write failure
    // no target was replaced; on a Replace failure the outputs before the
    // failing one were replaced, and the failing one's finished file stays
    // until Discard or KeepUnfinished.
    std::optional<CommitFailure> Commit();

    // Closes and removes every file not committed.
    void Discard();
    // Leaves every unfinished file where it is, so its data is not lost.
    void KeepUnfinished();

private:
    std::string prefix_;
    std::vector<std::unique_ptr<OutputFile>> outputs_;
};

// Flushes the stream, puts the file on the disk and closes it; false when any
// write before, the flush or the close failed.
bool CloseWrittenStream(std::FILE* stream);

// Opens (creating or emptying) a file written as it goes rather than
// committed, such as a capture or a trace: a FIFO or a device as `path` is
// opened without waiting for a reader, and refused when nobody reads it; a
// loop of links is refused. Null with `why` set when it cannot be opened.
std::FILE* OpenRunningFile(const std::string& path, Content content, std::error_code& why);

}  // namespace velscan::files
