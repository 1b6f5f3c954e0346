#pragma once
// The measurement table is written to a new file beside the target and put in
// the target's place only once it is complete and closed, so a failed run
// never empties, truncates or replaces an existing file and leaves no empty
// file behind.

#include <string>

#include "acquisition/measurement_file.hpp"

namespace velscan {

// A symbolic link as target is written through: the unfinished file lies
// beside the file the link names and replaces that file. An existing target
// keeps its permission bits. A target that is no regular file (a FIFO, a
// device) is written in place, with no unfinished file.
class PendingOutputFile {
public:
    // Creates the unfinished file beside `target` (same directory, a short
    // unique name that always fits), or opens a target that is no regular
    // file. Check Created().
    explicit PendingOutputFile(std::string target);
    PendingOutputFile(const PendingOutputFile&) = delete;
    PendingOutputFile& operator=(const PendingOutputFile&) = delete;
    // Removes the unfinished file unless it was put in place or kept.
    ~PendingOutputFile();

    bool Created() const { return created_; }
    const std::string& Target() const { return target_; }
    // Empty when the target is written in place.
    const std::string& TemporaryPath() const { return temporaryPath_; }
    // False when the unfinished file is gone (its directory removed during the run).
    bool TemporaryExists() const;

    // The open stream of the unfinished file, handed to the writer once.
    OutputStream TakeStream();
    // Renames the finished, closed file over the target. When that fails the
    // finished file is kept where it is (so no data is lost) and false is
    // returned.
    bool PutInPlace();
    // Closes (if still held) and removes the unfinished file.
    void Discard();

private:
    std::string target_;
    std::string finalPath_;  // the target, symbolic links followed
    std::string temporaryPath_;
    bool created_ = false;
    OutputStream stream_;
    bool settled_ = false;
};

}  // namespace velscan
