#include <windows.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/files/path_name.hpp"
#include "platform/interrupt.hpp"
#include "platform/process.hpp"
#include "platform/win32_error_text.hpp"

namespace velscan::platform {

namespace {

constexpr DWORD kWaitSliceMs = 10;

// One argument as the C runtime's command-line parser reads it back: in
// quotes, with the backslashes before a quote (and before the closing one)
// doubled and each quote escaped.
void AppendQuoted(std::wstring& line, const std::wstring& argument) {
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') line.append(backslashes * 2 + 1, L'\\');
        else line.append(backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.handle_;
            other.handle_ = nullptr;
        }
        return *this;
    }
    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void reset() {
        if (*this) CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace

struct ChildProcess::Handles {
    OwnedHandle process;
    OwnedHandle input;
    bool ended = false;
};

std::filesystem::path OwnProgramFolder() {
    std::wstring name(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0 || length >= name.size()) return {};
    name.resize(length);
    return std::filesystem::path(name).parent_path();
}

std::filesystem::path ProgramInFolder(const std::filesystem::path& folder, std::string_view name) {
    return folder / files::PathOf(std::string(name) + ".exe");
}

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::filesystem::path& program,
                                                  const std::vector<std::string>& arguments, std::string& whyNot) {
    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;
    HANDLE readRaw = nullptr;
    HANDLE writeRaw = nullptr;
    if (!CreatePipe(&readRaw, &writeRaw, &inheritable, 0)) {
        whyNot = Win32ErrorText(GetLastError());
        return nullptr;
    }
    OwnedHandle readEnd(readRaw);
    OwnedHandle writeEnd(writeRaw);
    // Only the child's end is inherited.
    SetHandleInformation(writeEnd.get(), HANDLE_FLAG_INHERIT, 0);

    std::wstring line;
    AppendQuoted(line, program.wstring());
    for (const std::string& argument : arguments) {
        line += L' ';
        AppendQuoted(line, files::PathOf(argument).wstring());
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd.get();
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    // A process group of its own: the console's Ctrl+C reaches the run only,
    // which stops like q and then tells the helper how it ended.
    const DWORD flags = BELOW_NORMAL_PRIORITY_CLASS | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT;
    if (!CreateProcessW(program.wstring().c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                        &startup, &started)) {
        whyNot = Win32ErrorText(GetLastError());
        return nullptr;
    }
    CloseHandle(started.hThread);
    auto handles = std::make_unique<Handles>();
    handles->process = OwnedHandle(started.hProcess);
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
    while (!text.empty()) {
        DWORD written = 0;
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 20));
        if (!WriteFile(handles_->input.get(), text.data(), size, &written, nullptr) || written == 0) {
            handles_->input.reset();
            return false;
        }
        text.remove_prefix(written);
    }
    return true;
}

void ChildProcess::CloseInput() { handles_->input.reset(); }

bool ChildProcess::WaitFor(std::uint32_t limitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!handles_->ended) {
        if (WaitForSingleObject(handles_->process.get(), kWaitSliceMs) == WAIT_OBJECT_0) {
            handles_->ended = true;
            DWORD code = 0;
            if (GetExitCodeProcess(handles_->process.get(), &code)) exitCode_ = static_cast<int>(code);
            break;
        }
        if (ForcedEndRequested()) {
            Kill();
            HonourForcedEnd();
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
    }
    return true;
}

void ChildProcess::Kill() {
    if (handles_->ended) return;
    TerminateProcess(handles_->process.get(), 1);
    WaitForSingleObject(handles_->process.get(), INFINITE);
    handles_->ended = true;
}

}  // namespace velscan::platform
