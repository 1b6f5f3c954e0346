#pragma once
// The serial port seam. Each call maps to one communications call of the
// Windows host, so the serial link can make exactly the documented sequence;
// the POSIX implementation maps them onto termios.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace velscan::platform {

// Purge flags (PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR).
inline constexpr std::uint32_t kPurgeTxAbort = 0x1;
inline constexpr std::uint32_t kPurgeRxAbort = 0x2;
inline constexpr std::uint32_t kPurgeTxClear = 0x4;
inline constexpr std::uint32_t kPurgeRxClear = 0x8;
inline constexpr std::uint32_t kPurgeAll = 0xF;

inline constexpr std::uint32_t kEventRxChar = 0x1;  // EV_RXCHAR

enum class ModemFunction : std::uint32_t {
    SetDtr = 5,  // SETDTR
    ClearDtr = 6,  // CLRDTR
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
    // DTR and RTS control disabled, flow control as `flowControl` selects) and
    // applies them. False when the port refuses them.
    virtual bool ApplyLineSettings(std::uint32_t baudRate, std::uint8_t flowControl) = 0;
    virtual bool EscapeFunction(ModemFunction function) = 0;                      // EscapeCommFunction
    // Writes all bytes and waits for completion, bounded by the write time-out
    // (total constant plus multiplier per byte; both 0: no bound).
    // Windows: 1 when the write completed at once or was pending and then waited
    // for (whatever that wait gave), 0 when it failed at once; the port's error
    // state is cleared after a failure.
    // POSIX: a write is never pending, so the result says what happened: 1 when
    // every byte was handed to the device within the time-out, 0 when the
    // time-out passed first or the device failed (bytes already handed over
    // stay queued for sending).
    virtual std::int32_t Write(std::span<const std::uint8_t> bytes) = 0;
    virtual void Close() = 0;                                                     // CloseHandle
};

// Opens a serial device of the operating system by name ("COM1", "/dev/pts/3")
// exclusively; null when it cannot be opened, or when another program (or
// another open in this one) holds it. On POSIX the device must be a terminal;
// it is held with TIOCEXCL and an advisory flock(), since TIOCEXCL alone does
// not stop a privileged second opener.
std::unique_ptr<SerialPort> OpenSerialPortDevice(const std::string& name);

}  // namespace velscan::platform
