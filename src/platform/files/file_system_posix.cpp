#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "platform/files/file_identity.hpp"
#include "platform/files/file_system.hpp"

namespace velscan::files::system {

namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

// The longest name the directory holding `path` takes (NAME_MAX where the
// file system does not say).
long LongestName(const std::string& path) {
    std::filesystem::path directory = std::filesystem::path(path).parent_path();
    if (directory.empty()) directory = ".";
    errno = 0;
    const long longest = ::pathconf(directory.c_str(), _PC_NAME_MAX);
    return longest > 0 ? longest : NAME_MAX;
}

std::string FolderOf(const std::string& path) {
    const std::filesystem::path directory = std::filesystem::path(path).parent_path();
    return directory.empty() ? std::string(".") : directory.string();
}

std::FILE* StreamOf(int fd, Content content, std::error_code& why) {
    // POSIX has no text mode: both contents are written as they are.
    (void)content;
    std::FILE* file = ::fdopen(fd, "w");
    if (file == nullptr) {
        why = LastError();
        ::close(fd);
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
    const std::string name = std::filesystem::path(inspected.finalPath).filename().string();
    if (name.empty() || static_cast<long>(name.size()) > LongestName(inspected.finalPath)) {
        why = std::make_error_code(name.empty() ? std::errc::is_a_directory
                                                : std::errc::filename_too_long);
        return std::nullopt;
    }
    struct stat status {};
    if (::stat(inspected.finalPath.c_str(), &status) != 0) {
        if (errno != ENOENT) {
            why = LastError();
            return std::nullopt;
        }
        return inspected;
    }
    inspected.exists = true;
    if (S_ISDIR(status.st_mode)) {
        why = std::make_error_code(std::errc::is_a_directory);
        return std::nullopt;
    }
    if (S_ISREG(status.st_mode)) {
        inspected.permissions = static_cast<unsigned>(status.st_mode & 07777);
    } else {
        inspected.special = true;
    }
    return inspected;
}

std::FILE* CreateExclusive(const std::string& path, Content content, std::error_code& why) {
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        why = LastError();
        return nullptr;
    }
    return StreamOf(fd, content, why);
}

std::FILE* OpenWithoutBlocking(const std::string& path, Content content, bool createOrEmpty,
                               std::error_code& why) {
    const int create = createOrEmpty ? O_CREAT | O_TRUNC : 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | create, 0666);
    if (fd < 0) {
        why = LastError();
        return nullptr;
    }
    // Blocking writes from here on: every byte must arrive.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        why = LastError();
        ::close(fd);
        return nullptr;
    }
    return StreamOf(fd, content, why);
}

void ApplyPermissions(std::FILE* file, unsigned permissions) {
    (void)::fchmod(::fileno(file), static_cast<mode_t>(permissions));
}

bool FlushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    if (::fsync(::fileno(file)) == 0) return true;
    return errno == EINVAL || errno == EROFS || errno == ENOTSUP;
}

bool RenameReplacing(const std::string& from, const std::string& to, std::error_code& why) {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    why = LastError();
    return false;
}

void SyncDirectoryOf(const std::string& path) {
    std::filesystem::path directory = std::filesystem::path(path).parent_path();
    if (directory.empty()) directory = ".";
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

bool Remove(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::error_code WhyNotReplaceable(const std::string& finalPath, bool& exists) {
    exists = false;
    struct stat status {};
    if (::stat(finalPath.c_str(), &status) == 0) {
        exists = true;
        if (S_ISDIR(status.st_mode)) return std::make_error_code(std::errc::is_a_directory);
    } else if (errno != ENOENT) {
        return LastError();
    }
    // The rename writes the folder's entry.
    if (::access(FolderOf(finalPath).c_str(), W_OK | X_OK) != 0) return LastError();
    return {};
}

bool LinkTo(const std::string& path, const std::string& link, std::error_code& why) {
    if (::link(path.c_str(), link.c_str()) == 0) return true;
    why = LastError();
    return false;
}

FolderLocks::FolderLocks(const std::vector<std::string>& finalPaths) {
    // Each folder once, by its identity, in the order of that identity, so
    // two committers of overlapping sets never wait for each other in a circle.
    struct Folder {
        dev_t device;
        ino_t inode;
        int fd;
    };
    std::vector<Folder> folders;
    for (const std::string& path : finalPaths) {
        const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat status {};
        const bool known = ::fstat(fd, &status) == 0;
        const bool seen = std::any_of(folders.begin(), folders.end(), [&](const Folder& folder) {
            return folder.device == status.st_dev && folder.inode == status.st_ino;
        });
        if (!known || seen) {
            ::close(fd);
            continue;
        }
        folders.push_back({status.st_dev, status.st_ino, fd});
    }
    std::sort(folders.begin(), folders.end(), [](const Folder& a, const Folder& b) {
        return std::pair(a.device, a.inode) < std::pair(b.device, b.inode);
    });
    for (const Folder& folder : folders) {
        int locked = -1;
        do {
            locked = ::flock(folder.fd, LOCK_EX);
        } while (locked != 0 && errno == EINTR);
        // A folder that cannot be locked (a file system without locks) is
        // committed without: the lock only orders committers, it guards no data.
        held_.push_back(folder.fd);
    }
}

FolderLocks::~FolderLocks() {
    // Closing the descriptor releases its lock.
    for (const std::intptr_t fd : held_) ::close(static_cast<int>(fd));
}

unsigned long ProcessNumber() { return static_cast<unsigned long>(::getpid()); }

}  // namespace velscan::files::system
