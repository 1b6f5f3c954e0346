#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/interrupt.hpp"
#include "platform/process.hpp"
#include "platform/unique_fd.hpp"

extern char** environ;

namespace velscan::platform {

namespace {

// The helper runs this much below us (nice), so the scan keeps the processor.
constexpr int kLowerPriority = 10;
constexpr auto kWaitSlice = std::chrono::milliseconds(10);

// A write to a pipe whose reader is gone fails with EPIPE instead of raising
// SIGPIPE, whatever the process's own disposition of it.
class SigpipeHeld {
public:
    SigpipeHeld() {
        sigemptyset(&pipeOnly_);
        sigaddset(&pipeOnly_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeOnly_, &old_);
    }
    ~SigpipeHeld() {
        if (!wasPending_) {
            // Ours, raised by the failed write: taken before it is unblocked.
            const timespec none{0, 0};
            while (sigtimedwait(&pipeOnly_, nullptr, &none) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeHeld(const SigpipeHeld&) = delete;
    SigpipeHeld& operator=(const SigpipeHeld&) = delete;

private:
    sigset_t pipeOnly_{}, old_{};
    bool wasPending_ = false;
};

}  // namespace

struct ChildProcess::Handles {
    pid_t pid = -1;
    UniqueFd input;
    bool reaped = false;
};

std::filesystem::path OwnProgramFolder() {
    std::error_code ignored;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ignored);
    return ignored ? std::filesystem::path() : self.parent_path();
}

std::filesystem::path ProgramInFolder(const std::filesystem::path& folder, std::string_view name) {
    return folder / std::filesystem::path(std::string(name));
}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::filesystem::path& program,
                                                  const std::vector<std::string>& arguments, std::string& whyNot) {
    // Everything the child needs is made before the fork: it only calls
    // what is safe between fork and exec.
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC) != 0) {
        whyNot = std::strerror(errno);
        return nullptr;
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    // The exec's own failure comes back through a second pipe closed by a
    // successful exec.
    int report[2] = {-1, -1};
    if (pipe2(report, O_CLOEXEC) != 0) {
        whyNot = std::strerror(errno);
        return nullptr;
    }
    UniqueFd reportRead(report[0]);
    UniqueFd reportWrite(report[1]);

    const pid_t pid = fork();
    if (pid < 0) {
        whyNot = std::strerror(errno);
        return nullptr;
    }
    if (pid == 0) {
        // A group of its own: the terminal's Ctrl+C reaches the run only,
        // which stops like q and then tells the helper how it ended.
        (void)setpgid(0, 0);
        // Out of the terminal's foreground group, a line it writes to the
        // terminal must not stop it (TOSTOP).
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        (void)sigaction(SIGTTOU, &ignore, nullptr);
        (void)setpriority(PRIO_PROCESS, 0, kLowerPriority);
        sigset_t none;
        sigemptyset(&none);
        (void)sigprocmask(SIG_SETMASK, &none, nullptr);
        if (dup2(readEnd.get(), STDIN_FILENO) < 0) _exit(127);
        execve(argv[0], argv.data(), environ);
        const int failure = errno;
        (void)!write(reportWrite.get(), &failure, sizeof failure);
        _exit(127);
    }
    readEnd.reset();
    reportWrite.reset();
    int failure = 0;
    ssize_t got = 0;
    do {
        got = read(reportRead.get(), &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof failure)) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        whyNot = std::strerror(failure);
        return nullptr;
    }
    auto handles = std::make_unique<Handles>();
    handles->pid = pid;
    handles->input = std::move(writeEnd);
    return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(handles)));
}

ChildProcess::ChildProcess(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

ChildProcess::~ChildProcess() {
    CloseInput();
    Kill();
}

bool ChildProcess::Write(std::string_view text) {
    if (!handles_->input) return false;
    const SigpipeHeld held;
    while (!text.empty()) {
        const ssize_t n = write(handles_->input.get(), text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            handles_->input.reset();  // it will not read again
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void ChildProcess::CloseInput() { handles_->input.reset(); }

bool ChildProcess::WaitFor(std::uint32_t limitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!handles_->reaped) {
        int status = 0;
        const pid_t done = waitpid(handles_->pid, &status, WNOHANG);
        if (done == handles_->pid) {
            handles_->reaped = true;
            if (WIFEXITED(status)) exitCode_ = WEXITSTATUS(status);
            break;
        }
        if (done < 0 && errno != EINTR) {
            handles_->reaped = true;  // not ours to wait for any more
            break;
        }
        if (ForcedEndRequested()) {
            Kill();
            HonourForcedEnd();
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kWaitSlice);
    }
    return true;
}

void ChildProcess::Kill() {
    if (handles_->reaped) return;
    (void)kill(handles_->pid, SIGKILL);
    int status = 0;
    while (waitpid(handles_->pid, &status, 0) < 0 && errno == EINTR) {
    }
    handles_->reaped = true;
}

}  // namespace velscan::platform
