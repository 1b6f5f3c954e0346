#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/files/file_identity.hpp"
#include "platform/files/file_system.hpp"
#include "platform/files/path_name.hpp"

namespace velscan::files::system {

namespace {

// The longest name a component may have on the file systems Windows writes.
constexpr std::size_t kLongestName = 255;

std::error_code LastError() {
    return {static_cast<int>(GetLastError()), std::system_category()};
}

std::FILE* StreamOf(HANDLE handle, Content content, std::error_code& why) {
    const int mode = content == Content::Text ? _O_TEXT : _O_BINARY;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | mode);
    if (fd < 0) {
        why = std::make_error_code(std::errc::too_many_files_open);
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, content == Content::Text ? "w" : "wb");
    if (file == nullptr) {
        why = std::make_error_code(std::errc::too_many_files_open);
        _close(fd);  // closes the handle too
    }
    return file;
}

}  // namespace

std::optional<Target> Inspect(const std::string& target, std::error_code& why) {
    const std::optional<std::string> followed = FollowLinks(target);
    if (!followed) {
        why = std::make_error_code(std::errc::too_many_symbolic_link_levels);
        return std::nullopt;
    }
    Target inspected;
    inspected.finalPath = *followed;
    const std::filesystem::path path = PathOf(inspected.finalPath);
    const std::wstring name = path.filename().native();
    if (name.empty() || name.size() > kLongestName) {
        why = std::make_error_code(name.empty() ? std::errc::is_a_directory
                                                : std::errc::filename_too_long);
        return std::nullopt;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return inspected;
        // A device such as NUL or COM1 has no attributes; it is looked at below.
        if (error != ERROR_INVALID_PARAMETER && error != ERROR_ACCESS_DENIED) {
            why = {static_cast<int>(error), std::system_category()};
            return std::nullopt;
        }
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        why = std::make_error_code(std::errc::is_a_directory);
        return std::nullopt;
    }
    // No access rights asked: the file may be open elsewhere.
    const HANDLE file = CreateFileW(path.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return inspected;
        why = LastError();
        return std::nullopt;
    }
    inspected.exists = true;
    inspected.special = GetFileType(file) != FILE_TYPE_DISK;
    CloseHandle(file);
    return inspected;
}

std::FILE* CreateExclusive(const std::string& path, Content content, std::error_code& why) {
    // Shared for deletion: a forced end must be able to remove the unfinished
    // file while it is still open (it goes when the process's handle closes).
    const HANDLE handle = CreateFileW(PathOf(path).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        why = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                  ? std::make_error_code(std::errc::file_exists)
                  : std::error_code(static_cast<int>(error), std::system_category());
        return nullptr;
    }
    return StreamOf(handle, content, why);
}

std::FILE* OpenWithoutBlocking(const std::string& path, Content content, bool createOrEmpty,
                               std::error_code& why) {
    // Opening a pipe, a device or a file never waits on Windows: a pipe with
    // no server end fails at once.
    const HANDLE handle = CreateFileW(PathOf(path).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ, nullptr,
                                      createOrEmpty ? OPEN_ALWAYS : OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        why = LastError();
        return nullptr;
    }
    // Emptied only when it is a file on a disk (SetEndOfFile means nothing to a device).
    if (createOrEmpty && GetFileType(handle) == FILE_TYPE_DISK && !SetEndOfFile(handle)) {
        why = LastError();
        CloseHandle(handle);
        return nullptr;
    }
    return StreamOf(handle, content, why);
}

void ApplyPermissions(std::FILE*, unsigned) {}

bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE) return false;
    if (GetFileType(handle) != FILE_TYPE_DISK) return true;
    return FlushFileBuffers(handle) != 0;
}

bool RenameReplacing(const std::string& from, const std::string& to, std::error_code& why) {
    if (MoveFileExW(PathOf(from).c_str(), PathOf(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
        return true;
    why = LastError();
    return false;
}

// MoveFileEx with MOVEFILE_WRITE_THROUGH has put the rename on the disk.
void SyncDirectoryOf(const std::string&) {}

bool Remove(const std::string& path) {
    return DeleteFileW(PathOf(path).c_str()) != 0;
}

std::error_code WhyNotReplaceable(const std::string& finalPath, bool& exists) {
    exists = false;
    const std::filesystem::path path = PathOf(finalPath);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        exists = true;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return std::make_error_code(std::errc::is_a_directory);
        return {};
    }
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return {};
    return {static_cast<int>(error), std::system_category()};
}

bool LinkTo(const std::string& path, const std::string& link, std::error_code& why) {
    if (CreateHardLinkW(PathOf(link).c_str(), PathOf(path).c_str(), nullptr) != 0)
        return true;
    const DWORD error = GetLastError();
    why = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
              ? std::make_error_code(std::errc::file_exists)
              : std::error_code(static_cast<int>(error), std::system_category());
    return false;
}

namespace {

// The mutex's name for a folder: its full path, letters folded as the file
// system folds them, hashed (FNV-1a, 64 bits) into a name of fixed length.
std::wstring LockNameOf(const std::string& finalPath) {
    std::error_code error;
    std::filesystem::path folder = PathOf(finalPath).parent_path();
    if (folder.empty()) folder = ".";
    std::filesystem::path full = std::filesystem::weakly_canonical(folder, error);
    if (error) full = std::filesystem::absolute(folder, error);
    std::wstring text = full.native();
    if (!text.empty())
        CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    std::uint64_t hash = 14695981039346656037ull;
    for (const wchar_t c : text) {
        hash ^= static_cast<std::uint64_t>(c);
        hash *= 1099511628211ull;
    }
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring name = L"Local\\velscan-commit-";
    for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
    return name;
}

}  // namespace

FolderLocks::FolderLocks(const std::vector<std::string>& finalPaths) {
    std::vector<std::wstring> names;
    for (const std::string& path : finalPaths) names.push_back(LockNameOf(path));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const std::wstring& name : names) {
        const HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        if (mutex == nullptr) continue;
        // An owner that ended without releasing it (WAIT_ABANDONED) hands it on.
        const DWORD waited = WaitForSingleObject(mutex, INFINITE);
        if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
            CloseHandle(mutex);
            continue;
        }
        held_.push_back(reinterpret_cast<std::intptr_t>(mutex));
    }
}

FolderLocks::~FolderLocks() {
    for (const std::intptr_t held : held_) {
        const auto mutex = reinterpret_cast<HANDLE>(held);
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}

unsigned long ProcessNumber() { return static_cast<unsigned long>(_getpid()); }

}  // namespace velscan::files::system
