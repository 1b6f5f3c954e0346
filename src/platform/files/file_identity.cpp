#include "platform/files/file_identity.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/files/path_name.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velscan::files {

namespace fs = std::filesystem;

namespace {

struct FileId {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};

// The identity of an existing file (links followed); nullopt when none exists.
std::optional<FileId> IdentityOf(const fs::path& path) {
#ifdef _WIN32
    // No access rights asked: the file may be open elsewhere, even a directory.
    const HANDLE file = CreateFileW(path.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL ok = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    if (!ok) return std::nullopt;
    return FileId{info.dwVolumeSerialNumber,
                  (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
#else
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(status.st_dev),
                  static_cast<std::uint64_t>(status.st_ino)};
#endif
}

// The most symbolic links followed in a row; more is taken for a loop.
constexpr int kMaxLinkHops = 40;

// Where a path that does not exist would be created: dangling symbolic links
// followed (a bounded number of times), then the existing part resolved.
// `loop` tells whether the path still names a link after the last hop.
fs::path FollowLinksOf(fs::path path, bool& loop) {
    std::error_code error;
    loop = false;
    for (int hops = 0; fs::is_symlink(fs::symlink_status(path, error)); ++hops) {
        if (hops == kMaxLinkHops) {
            loop = true;
            break;
        }
        const fs::path target = fs::read_symlink(path, error);
        if (error) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

fs::path WouldBeCreatedAt(const fs::path& named) {
    std::error_code error;
    bool loop = false;
    const fs::path path = FollowLinksOf(named, loop);
    const fs::path absolute = fs::absolute(path, error);
    if (error) return path.lexically_normal();
    const fs::path canonical = fs::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : canonical;
}

bool SamePathName(const fs::path& a, const fs::path& b) {
#ifdef _WIN32
    const std::wstring& left = a.native();
    const std::wstring& right = b.native();
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
#else
    return a == b;
#endif
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    const fs::path left = PathOf(a);
    const fs::path right = PathOf(b);
    const std::optional<FileId> leftId = IdentityOf(left);
    const std::optional<FileId> rightId = IdentityOf(right);
    if (leftId || rightId) return leftId == rightId;
    return SamePathName(WouldBeCreatedAt(left), WouldBeCreatedAt(right));
}

std::optional<std::string> FollowLinks(const std::string& path) {
    bool loop = false;
    const fs::path followed = FollowLinksOf(PathOf(path), loop);
    if (loop) return std::nullopt;
    return NameOf(followed);
}

}  // namespace velscan::files
