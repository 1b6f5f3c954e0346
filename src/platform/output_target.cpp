#include "platform/output_target.hpp"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/file_identity.hpp"

#ifdef _WIN32
#include <windows.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velscan::platform {

namespace fs = std::filesystem;

#ifdef _WIN32

OutputTarget InspectOutputTarget(const std::string& target) {
    OutputTarget inspected;
    inspected.finalPath = FollowLinks(target);
    const HANDLE file = CreateFileA(inspected.finalPath.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        inspected.inPlace = GetFileType(file) != FILE_TYPE_DISK;
        CloseHandle(file);
    }
    return inspected;
}

std::FILE* OpenInPlace(const std::string& path) { return std::fopen(path.c_str(), "w"); }

void ApplyPermissions(std::FILE*, unsigned) {}

bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE) return false;
    if (GetFileType(handle) != FILE_TYPE_DISK) return true;
    return FlushFileBuffers(handle) != 0;
}

// MoveFileEx with MOVEFILE_WRITE_THROUGH has put the rename on the disk.
void SyncDirectoryOf(const std::string&) {}

#else

OutputTarget InspectOutputTarget(const std::string& target) {
    OutputTarget inspected;
    inspected.finalPath = FollowLinks(target);
    struct stat status {};
    if (::stat(inspected.finalPath.c_str(), &status) == 0) {
        if (S_ISREG(status.st_mode)) {
            inspected.permissions = static_cast<unsigned>(status.st_mode & 07777);
        } else {
            inspected.inPlace = true;
        }
    }
    return inspected;
}

std::FILE* OpenInPlace(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    // Blocking writes from here on: the table must arrive whole.
    const int flags = ::fcntl(fd, F_GETFL);
    std::FILE* file = flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1
                          ? nullptr
                          : ::fdopen(fd, "w");
    if (file == nullptr) ::close(fd);
    return file;
}

void ApplyPermissions(std::FILE* file, unsigned permissions) {
    (void)::fchmod(::fileno(file), static_cast<mode_t>(permissions));
}

bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    if (::fsync(::fileno(file)) == 0) return true;
    return errno == EINVAL || errno == EROFS || errno == ENOTSUP;
}

void SyncDirectoryOf(const std::string& path) {
    fs::path directory = fs::path(path).parent_path();
    if (directory.empty()) directory = ".";
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

#endif

}  // namespace velscan::platform
