#include "laserlink/serial_link.hpp"

#include <cstdio>
#include <cstring>
#include <span>
#include <utility>

#include "platform/backend.hpp"

namespace velscan {

namespace {

// Reads return at once with what is buffered; every write ends within 1000 ms.
constexpr platform::CommTimeouts kLinkTimeouts{0xFFFFFFFFu, 0, 0, 0, 1000};

constexpr std::uint32_t kQueueBytes = 4096;

}  // namespace

std::int32_t SerialLinkOpen(SerialLink& link, std::uint32_t baudRate, std::int32_t portNumber) {
    platform::SerialPortOpening opening = platform::ActiveBackend().openSerialPort(portNumber);
    link.handle = std::move(opening.port);
    link.openFailure = std::move(opening.failure);
    if (!link.handle) return 0;
    link.openFailure.clear();

    platform::SerialPort& port = *link.handle;
    port.SetEventMask(platform::kEventRxChar);
    port.SetQueueSizes(kQueueBytes, kQueueBytes);
    port.Purge(platform::kPurgeAll);
    port.SetTimeouts(kLinkTimeouts);

    if (SerialLinkConfigure(link, baudRate) == 0) {
        port.Close();
        link.handle.reset();
        return 0;
    }
    port.SetDtr(true);
    port.Purge(platform::kPurgeAll);
    return 1;
}

int SerialLinkConfigure(SerialLink& link, std::uint32_t baudRate) {
    // Every configuration runs the link without flow control.
    if (!link.handle) return 0;
    return link.handle->ApplyLineSettings(baudRate) ? 1 : 0;
}

std::int32_t SerialLinkWrite(SerialLink& link, const void* bytes, std::size_t count) {
    if (!link.handle) return 0;
    const platform::WriteOutcome outcome = link.handle->Write(
        std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(bytes), count));
    return outcome == platform::WriteOutcome::Failed ? 0 : 1;
}

std::int32_t SerialLinkSend(SerialLink& link, const char* text) {
    return SerialLinkWrite(link, text, std::strlen(text));
}

int SerialLinkPurge(SerialLink& link, std::uint32_t flags) {
    if (!link.handle) return 0;
    return link.handle->Purge(flags) ? 1 : 0;
}

std::int32_t SerialLinkClose(SerialLink& link) {
    if (link.handle) {
        platform::SerialPort& port = *link.handle;
        port.SetEventMask(0);
        port.SetDtr(false);
        port.Purge(platform::kPurgeAll);
        port.Close();
        link.handle.reset();
    }
    return 1;
}

}  // namespace velscan
