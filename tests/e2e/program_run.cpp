#include "program_run.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <stdexcept>
#include <string_view>
#include <utility>

extern char** environ;

namespace velscan::e2e {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& extra) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (text.starts_with("VELSCAN_")) continue;
        variables.emplace_back(text);
    }
    // The live page and the finished table's pictures cost each run a second
    // process and a picture: off unless the test turns them on.
    std::map<std::string, std::string> chosen{{"VELSCAN_LIVE", "off"}, {"VELSCAN_PICTURES", "off"}};
    for (const auto& [name, value] : extra) chosen[name] = value;
    for (const auto& [name, value] : chosen) variables.push_back(name + "=" + value);
    return variables;
}

}  // namespace

ProgramResult Execute(const std::string& program, const ProgramRun& run) {
    return RunningProgram(program, run).Wait();
}

RunningProgram::RunningProgram(const std::string& program, const ProgramRun& run)
    : streams_(std::make_unique<ScratchDirectory>("streams")) {
    const fs::path outPath = streams_->Path() / "out";
    const fs::path errPath = streams_->Path() / "err";

    // The input goes into the pipe before the child starts (it fits the pipe's
    // buffer), so the program finds it waiting and no write can meet a closed pipe.
    int inputPipe[2] = {-1, -1};
    if (run.input && !run.terminalInput) {
        if (run.input->size() > 4096) throw std::runtime_error("input larger than a pipe holds");
        if (pipe(inputPipe) != 0) throw std::runtime_error("pipe failed");
        std::size_t written = 0;
        while (written < run.input->size()) {
            const ssize_t n = write(inputPipe[1], run.input->data() + written,
                                    run.input->size() - written);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw std::runtime_error("writing the input failed");
            written += static_cast<std::size_t>(n);
        }
        close(inputPipe[1]);
    }

    // Everything the child needs is prepared before the fork.
    std::vector<std::string> arguments{program};
    arguments.insert(arguments.end(), run.arguments.begin(), run.arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = ChildEnvironment(run.environment);
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    const std::string directory = run.workingDirectory.string();
    const std::string out = outPath.string();
    const std::string err = errPath.string();

    // A pseudo-terminal whose input already holds the typed-ahead bytes.
    int terminalInput = -1;
    if (run.terminalInput) {
        terminal_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (terminal_ < 0 || grantpt(terminal_) != 0 || unlockpt(terminal_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        terminalInput = open(ptsname(terminal_), O_RDWR | O_NOCTTY);
        if (terminalInput < 0) throw std::runtime_error("no pseudo-terminal");
        const std::string typed = run.input.value_or("");
        if (write(terminal_, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size()))
            throw std::runtime_error("typing on the pseudo-terminal failed");
    }
    bool closeDescriptor[3] = {false, false, false};
    for (const int descriptor : run.closedDescriptors) {
        if (descriptor < 0 || descriptor > 2) throw std::runtime_error("not a standard stream");
        closeDescriptor[descriptor] = true;
    }

    int closedPipe[2] = {-1, -1};
    if (run.closedStreams) {
        if (pipe(closedPipe) != 0) throw std::runtime_error("pipe failed");
        close(closedPipe[0]);  // nobody reads from the start
    }

    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        int input = -1;
        if (terminalInput >= 0) {
            input = terminalInput;
        } else if (run.input) {
            input = inputPipe[0];
        } else {
            input = open("/dev/null", O_RDONLY);
        }
        const int outFd = run.closedStreams ? closedPipe[1]
                                            : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = run.closedStreams ? closedPipe[1]
                                            : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        // The program decides for itself what a closed pipe and a file-size
        // limit do to it.
        signal(SIGPIPE, SIG_DFL);
        signal(SIGXFSZ, SIG_DFL);
        if (input < 0 || outFd < 0 || errFd < 0 || dup2(input, 0) < 0 || dup2(outFd, 1) < 0 ||
            dup2(errFd, 2) < 0 || chdir(directory.c_str()) != 0) {
            _exit(127);
        }
        for (int descriptor = 0; descriptor < 3; ++descriptor) {
            if (closeDescriptor[descriptor]) close(descriptor);
        }
        if (run.fileSizeLimit) {
            struct rlimit limit {};
            limit.rlim_cur = static_cast<rlim_t>(*run.fileSizeLimit);
            limit.rlim_max = static_cast<rlim_t>(*run.fileSizeLimit);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }

    if (run.input && !run.terminalInput) close(inputPipe[0]);
    if (terminalInput >= 0) close(terminalInput);
    if (run.closedStreams) close(closedPipe[1]);
    pid_ = child;
}

RunningProgram::~RunningProgram() {
    if (terminal_ >= 0) close(terminal_);
    if (reaped_ || pid_ < 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

std::string RunningProgram::ErrorSoFar() const { return ReadFile(streams_->Path() / "err"); }

bool RunningProgram::WaitForError(const std::string& text, int limitMs) const {
    for (int waited = 0; waited <= limitMs; ++waited) {
        if (ErrorSoFar().find(text) != std::string::npos) return true;
        usleep(1000);
    }
    return false;
}

void RunningProgram::Signal(int signal) const { kill(pid_, signal); }

void RunningProgram::SignalTogether(std::initializer_list<int> signals) const {
    Signal(SIGSTOP);
    int status = 0;
    while (waitpid(pid_, &status, WUNTRACED) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    if (!WIFSTOPPED(status)) throw std::runtime_error("the program ended instead of stopping");
    for (const int signal : signals) Signal(signal);
    Signal(SIGCONT);
}

ProgramResult RunningProgram::Wait() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    reaped_ = true;
    if (terminal_ >= 0) close(std::exchange(terminal_, -1));
    ProgramResult result;
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = ReadFile(streams_->Path() / "out");
    result.err = ReadFile(streams_->Path() / "err");
    return result;
}

ScratchDirectory::ScratchDirectory(const std::string& tag) {
    static std::atomic<unsigned> counter{0};
    static const unsigned seed = std::random_device{}();
    path_ = fs::temp_directory_path() /
            ("velscan-e2e-" + tag + "-" + std::to_string(getpid()) + "-" + std::to_string(seed) +
             "-" + std::to_string(counter.fetch_add(1)));
    fs::create_directories(path_);
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace velscan::e2e
