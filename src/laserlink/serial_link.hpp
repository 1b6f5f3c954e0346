#pragma once
// The serial link to the range finder: open, configure, write, purge, close.
// The link only ever sends; nothing is read from the range finder.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/serial_port.hpp"

namespace velscan {

struct SerialLink {
    // The open port; null after a failed open or a close.
    std::unique_ptr<platform::SerialPort> handle;
    // Why the last open failed, as the port's opener said
    // ("/dev/pts/9: No such file or directory"); empty after a success or
    // when the opener gave no reason.
    std::string openFailure;
};

// 1 when the port is open and configured, 0 otherwise.
std::int32_t SerialLinkOpen(SerialLink& link, std::uint32_t baudRate, std::int32_t portNumber);
// Non-zero when the port accepted the line settings.
int SerialLinkConfigure(SerialLink& link, std::uint32_t baudRate);
// 1 when the port took the bytes or waited for them to go, 0 when it refused
// them at once (so a write that timed out gives 1 on every system).
std::int32_t SerialLinkWrite(SerialLink& link, const void* bytes, std::size_t count);
// Writes a zero-terminated text without its terminator.
std::int32_t SerialLinkSend(SerialLink& link, const char* text);
int SerialLinkPurge(SerialLink& link, std::uint32_t flags);
// Always 1.
std::int32_t SerialLinkClose(SerialLink& link);

}  // namespace velscan
