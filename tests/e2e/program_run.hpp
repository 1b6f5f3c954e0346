#pragma once
// Runs the built velscan program as a black box: in a working directory of
// its own, with a chosen environment (every VELSCAN_ variable of the test's
// own environment removed first), a given standard input, and standard output
// and standard error captured.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velscan::e2e {

struct ProgramRun {
    std::vector<std::string> arguments;               // after the program's name
    std::map<std::string, std::string> environment;   // added VELSCAN_ variables
    // Bytes on standard input, which is a pipe closed after them; unset: the
    // null device.
    std::optional<std::string> input;
    std::filesystem::path workingDirectory;
};

struct ProgramResult {
    int exitCode = -1;      // -1: ended by a signal (see `signal`)
    int signal = 0;
    std::string out;
    std::string err;
};

ProgramResult Execute(const std::string& program, const ProgramRun& run);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::string& tag);
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);

}  // namespace velscan::e2e
