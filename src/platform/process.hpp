#pragma once
// A helper program the run starts beside itself: found in the folder of the
// running program, started at a lower priority than ours and out of our
// console's Ctrl+C (it ends on its own when its input closes), its standard
// input a pipe we write lines into, its standard output and error ours.
// Waited for with a bound, then killed; the object never leaves it running.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velscan::platform {

// The folder that holds the running program's executable; empty when the
// system does not say.
std::filesystem::path OwnProgramFolder();

// The name of a program of this build in `folder`: `name` with the
// platform's executable extension.
std::filesystem::path ProgramInFolder(const std::filesystem::path& folder, std::string_view name);

class ChildProcess {
public:
    // Starts `program` with `arguments` (after its own name). Null, with
    // `whyNot` set to the system's reason, when it cannot be started.
    static std::unique_ptr<ChildProcess> Start(const std::filesystem::path& program,
                                               const std::vector<std::string>& arguments, std::string& whyNot);
    ~ChildProcess();  // closes its input, kills it if it still runs, reaps it
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Writes all of `text` to its input; false once it cannot take it (it
    // ended, or the input is closed). Never raises SIGPIPE.
    bool Write(std::string_view text);
    // Closes its input: it reads the end of its input next.
    void CloseInput();
    // Waits in real time, at most `limitMs`, for it to end; true when it did.
    // A forced end of this program asked for meanwhile kills it first.
    bool WaitFor(std::uint32_t limitMs);
    // Ends it at once and reaps it.
    void Kill();
    // Its exit code once it ended by itself; -1 while it runs or when killed.
    int ExitCode() const { return exitCode_; }

    struct Handles;

private:
    explicit ChildProcess(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> handles_;
    int exitCode_ = -1;
};

}  // namespace velscan::platform
