#pragma once
// The serial port seam. Each call maps to one communications call of the
// Windows host, so the serial link can make exactly the documented sequence;
// the POSIX implementation maps them onto termios. Every call means the same
// on both systems.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

namespace velscan::platform {

// Purge flags (PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR).
inline constexpr std::uint32_t kPurgeTxAbort = 0x1;
inline constexpr std::uint32_t kPurgeRxAbort = 0x2;
inline constexpr std::uint32_t kPurgeTxClear = 0x4;
inline constexpr std::uint32_t kPurgeRxClear = 0x8;
inline constexpr std::uint32_t kPurgeAll = 0xF;

inline constexpr std::uint32_t kEventRxChar = 0x1;  // EV_RXCHAR

// How a write ended.
enum class WriteOutcome {
    Completed,  // every byte was taken at once
    Waited,     // the port had to wait for room; it waited, at most the
                // write time-out, whatever the wait gave
    Failed,     // the device refused the write at once
};

struct CommTimeouts {
    std::uint32_t readIntervalTimeout;
    std::uint32_t readTotalTimeoutMultiplier;
    std::uint32_t readTotalTimeoutConstant;
    std::uint32_t writeTotalTimeoutMultiplier;
    std::uint32_t writeTotalTimeoutConstant;
};

class SerialPort {
public:
    virtual ~SerialPort() = default;  // closes the port if still open

    virtual bool SetEventMask(std::uint32_t mask) = 0;                            // SetCommMask
    virtual bool SetQueueSizes(std::uint32_t input, std::uint32_t output) = 0;    // SetupComm
    virtual bool Purge(std::uint32_t flags) = 0;                                  // PurgeComm
    virtual bool SetTimeouts(const CommTimeouts& timeouts) = 0;                   // SetCommTimeouts
    // Creates the write event, reads the port settings, changes the members of
    // the line settings table (baud rate, 8 data bits, no parity, one stop bit,
    // DTR and RTS control disabled, no flow control) and applies them.
    // False when the port refuses them.
    virtual bool ApplyLineSettings(std::uint32_t baudRate) = 0;
    // Raises or lowers DTR (EscapeCommFunction SETDTR / CLRDTR).
    virtual bool SetDtr(bool raised) = 0;
    // Writes all bytes, bounded by the write time-out (total constant plus
    // multiplier per byte; both 0: no bound). Windows: Completed when WriteFile
    // completes at once, Waited when it was pending and then waited for,
    // Failed when it fails at once (the port's error state is then cleared).
    // POSIX: Completed when the device took every byte at once, Waited when it
    // had to wait for room (also when the time-out passed first or the device
    // failed during the wait; bytes already handed over stay queued), Failed
    // when the device refused the write at once.
    virtual WriteOutcome Write(std::span<const std::uint8_t> bytes) = 0;
    virtual void Close() = 0;                                                     // CloseHandle
};

struct SerialPortOpening {
    SerialPortOpening() = default;
    // An opener that knows no reason may hand back its port (or null) alone.
    SerialPortOpening(std::unique_ptr<SerialPort> opened, std::string why = {})
        : port(std::move(opened)), failure(std::move(why)) {}
    SerialPortOpening(std::nullptr_t) {}

    std::unique_ptr<SerialPort> port;  // null when the open failed
    // Why it failed, as the operating system says it, after the device's name
    // ("/dev/pts/9: No such file or directory"); empty after a success.
    std::string failure;
};

// Opens a serial device of the operating system by name ("COM1", "/dev/pts/3")
// exclusively; no port when it cannot be opened, or when another program (or
// another open in this one) holds it. On POSIX the device must be a terminal;
// it is held with TIOCEXCL and an advisory flock(), since TIOCEXCL alone does
// not stop a privileged second opener.
SerialPortOpening OpenSerialPortDevice(const std::string& name);

}  // namespace velscan::platform
