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
// A set is committed whole or not at all. Its renames hold a lock on the
// targets' folders that every other committer (in any process) takes too, so
// two sets saved to the same targets at once never mix; every target is
// checked first (no directory, its folder still there and writable); an
// existing target keeps its earlier content under a second name until the
// whole set is in place, and a rename that still fails puts every target
// replaced before it back as it was. A forced end waits for the renames.
//
// A symbolic link as target is written through (the file it names is
// replaced, dangling links included; the link stays); an existing file keeps
// its permission bits; a target that exists and is no regular file (a FIFO,
// a device) is written in place, opened without ever waiting for a reader.
// Every unfinished file is registered, so a forced end removes them all.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
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
    bool Close(std::error_code& why);  // flush, disk, close; true when every write arrived
    void Settle();                      // in its target's place: nothing left to remove
    void Remove();                 // closes and removes an unfinished file
    void Keep();                   // leaves the unfinished file where it is

    std::string target_;
    std::string finalPath_;
    std::string temporaryPath_;
    std::FILE* stream_ = nullptr;
    std::size_t slot_ = static_cast<std::size_t>(-1);  // none until registered
    bool settled_ = false;
};

// A target a failed commit could not put back as it was: it holds its new
// file now.
struct ChangedTarget {
    std::string target;        // the name the output was asked for
    std::string earlierKeptIn;  // the file holding its earlier content; empty: it had none
};

// Why a commit failed, and which output it was.
struct CommitFailure {
    enum class Stage {
        Write,    // a write, flush or close failed: no target was replaced
        Replace,  // `output` could not take its target's name: no target was
                  // replaced (any replaced before it were put back), and every
                  // finished file is still there
        Undone,   // as Replace, but putting back failed: `changed` says which
                  // targets hold their new file now
    };
    Stage stage;
    const OutputFile* output;
    std::error_code why;  // the system's reason where it gave one
    std::vector<ChangedTarget> changed = {};
};

// The targets an Undone commit left changed, in words: "A now holds the new
// file (its earlier content is kept in B)", joined by "; ".
std::string DescribeChangedTargets(const CommitFailure& failure);

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

    // Closes every stream still held, then puts every unfinished file in its
    // target's place, all or none. Nullopt when every output is in place.
    // On a failure the finished files that were not put in place stay until
    // Discard or KeepUnfinished.
    std::optional<CommitFailure> Commit();

    // Closes and removes every file not committed.
    void Discard();
    // Leaves every unfinished file where it is, so its data is not lost.
    void KeepUnfinished();
    // Leaves the unfinished file of `kept` where it is and removes the others.
    void KeepUnfinished(const OutputFile& kept);

    // For tests: called inside a commit, with the lock held, just before each
    // rename over a target (after every target was checked), so a test can
    // change the target in that moment as another program could.
    void SetBeforeRename(std::function<void(const OutputFile&)> hook) {
        beforeRename_ = std::move(hook);
    }

private:
    struct Replaced;
    void PutBack(std::vector<Replaced>& replaced, CommitFailure& failure);

    std::string prefix_;
    std::vector<std::unique_ptr<OutputFile>> outputs_;
    std::function<void(const OutputFile&)> beforeRename_;
};

// Flushes the stream, puts the file on the disk and closes it; false when any
// write before, the flush or the close failed (`why` then has the system's
// reason where it gave one).
bool CloseWrittenStream(std::FILE* stream);
bool CloseWrittenStream(std::FILE* stream, std::error_code& why);

// Opens (creating or emptying) a file written as it goes rather than
// committed, such as a capture or a trace: a FIFO or a device as `path` is
// opened without waiting for a reader, and refused when nobody reads it; a
// loop of links is refused. Null with `why` set when it cannot be opened.
std::FILE* OpenRunningFile(const std::string& path, Content content, std::error_code& why);

}  // namespace velscan::files
