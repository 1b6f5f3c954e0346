#pragma once
// Runs the built velscan program as a black box: in a working directory of
// its own, with a chosen environment (every VELSCAN_ variable of the test's
// own environment removed first), a given standard input, and standard output
// and standard error captured.

#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
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
    // Largest file the program may write, in bytes (a full disk, in effect:
    // writes beyond it fail); unset: no limit.
    std::optional<long> fileSizeLimit;
    // Standard output and standard error go to a pipe nobody reads any more
    // (a console that is gone); nothing of them is captured then.
    bool closedStreams = false;
    // Standard streams (0, 1, 2) left closed when the program starts, as a
    // launcher or a service may leave them.
    std::vector<int> closedDescriptors = {};
    // Standard input is a pseudo-terminal, with `input` typed ahead on it.
    bool terminalInput = false;
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

// A program started and not yet waited for, so a test can watch its output
// and send it signals.
class RunningProgram {
public:
    RunningProgram(const std::string& program, const ProgramRun& run);
    ~RunningProgram();  // kills and reaps a program not waited for
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Standard error as written so far.
    std::string ErrorSoFar() const;
    // Waits (polling every millisecond, at most `limitMs`) until standard
    // error contains `text`; false if it never did.
    bool WaitForError(const std::string& text, int limitMs = 60000) const;
    void Signal(int signal) const;
    // Sends `signals` so that the program receives them all at once: it is
    // stopped first (SIGSTOP, waited for), the signals wait pending, and every
    // one of them reaches its handler when it continues, before the program
    // can act on the first. Different signals never merge into one.
    void SignalTogether(std::initializer_list<int> signals) const;
    ProgramResult Wait();

private:
    std::unique_ptr<ScratchDirectory> streams_;
    int pid_ = -1;
    bool reaped_ = false;
    int terminal_ = -1;  // the pseudo-terminal's controlling end, while the program runs
};

std::string ReadFile(const std::filesystem::path& path);

}  // namespace velscan::e2e
