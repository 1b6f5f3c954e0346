#pragma once
// A pseudo-terminal pair for the POSIX tests: the slave stands in for the
// range finder's serial device or the keyboard, the test reads and writes the
// master side. No test ever opens a real serial device.

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <string>

#include "platform/unique_fd.hpp"

namespace velscan::testing_support {

struct PseudoTerminal {
    PseudoTerminal() {
        int masterFd = -1;
        int slaveFd = -1;
        char name[256] = {};
        if (::openpty(&masterFd, &slaveFd, name, nullptr, nullptr) == 0) {
            master = platform::UniqueFd(masterFd);
            slave = platform::UniqueFd(slaveFd);
            slaveName = name;
        }
    }

    // True when `fd` becomes readable within `timeoutMs`.
    static bool Readable(int fd, int timeoutMs) {
        pollfd entry{fd, POLLIN, 0};
        return ::poll(&entry, 1, timeoutMs) > 0 && (entry.revents & POLLIN) != 0;
    }

    // Reads from the master until `count` bytes arrived or none came for `timeoutMs`.
    std::string ReadMaster(std::size_t count, int timeoutMs = 2000) const {
        std::string text;
        char chunk[256];
        while (text.size() < count && Readable(master.get(), timeoutMs)) {
            const ssize_t got = ::read(master.get(), chunk, sizeof(chunk));
            if (got <= 0) break;
            text.append(chunk, static_cast<std::size_t>(got));
        }
        return text;
    }

    bool WriteMaster(const std::string& text) const {
        return ::write(master.get(), text.data(), text.size()) ==
               static_cast<ssize_t>(text.size());
    }

    platform::UniqueFd master;
    platform::UniqueFd slave;
    std::string slaveName;
};

}  // namespace velscan::testing_support
