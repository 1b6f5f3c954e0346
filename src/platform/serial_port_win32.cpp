// The serial port on Windows: each call of the seam is the one communications
// call it is named after, on a port opened for overlapped writes.
#include <windows.h>

#include "platform/serial_port.hpp"
#include "platform/win32_error_text.hpp"

namespace velscan::platform {

namespace {

// Closes a kernel handle when it goes; null and INVALID_HANDLE_VALUE hold nothing.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void reset(HANDLE handle = nullptr) {
        if (*this) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

class Win32SerialPort final : public SerialPort {
public:
    explicit Win32SerialPort(HANDLE port) : port_(port) {}
    ~Win32SerialPort() override { Close(); }
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    bool SetEventMask(std::uint32_t mask) override {
        return port_ && SetCommMask(port_.get(), mask) != FALSE;
    }

    bool SetQueueSizes(std::uint32_t input, std::uint32_t output) override {
        return port_ && SetupComm(port_.get(), input, output) != FALSE;
    }

    bool Purge(std::uint32_t flags) override {
        return port_ && PurgeComm(port_.get(), flags) != FALSE;
    }

    bool SetTimeouts(const CommTimeouts& timeouts) override {
        if (!port_) return false;
        COMMTIMEOUTS comm{};
        comm.ReadIntervalTimeout = timeouts.readIntervalTimeout;
        comm.ReadTotalTimeoutMultiplier = timeouts.readTotalTimeoutMultiplier;
        comm.ReadTotalTimeoutConstant = timeouts.readTotalTimeoutConstant;
        comm.WriteTotalTimeoutMultiplier = timeouts.writeTotalTimeoutMultiplier;
        comm.WriteTotalTimeoutConstant = timeouts.writeTotalTimeoutConstant;
        return SetCommTimeouts(port_.get(), &comm) != FALSE;
    }

    bool ApplyLineSettings(std::uint32_t baudRate) override {
        if (!port_) return false;
        // The write event: manual reset, not signalled, unnamed. Writes still
        // work without it (the wait then uses the port handle), so a failed
        // creation is not reported.
        event_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        overlapped_ = OVERLAPPED{};
        overlapped_.Offset = 0;
        overlapped_.OffsetHigh = 0;
        overlapped_.hEvent = event_.get();

        settings_.DCBlength = sizeof(DCB);
        GetCommState(port_.get(), &settings_);
        settings_.BaudRate = baudRate;
        settings_.fBinary = 1;
        settings_.fOutxCtsFlow = 0;
        settings_.fOutxDsrFlow = 0;
        settings_.fDtrControl = DTR_CONTROL_DISABLE;
        settings_.fDsrSensitivity = 0;
        settings_.fTXContinueOnXoff = 0;
        settings_.fOutX = 0;
        settings_.fInX = 0;
        settings_.fErrorChar = 0;
        settings_.fNull = 0;
        settings_.fRtsControl = RTS_CONTROL_DISABLE;
        settings_.fAbortOnError = 0;
        settings_.XonLim = 10;
        settings_.XoffLim = 10;
        settings_.ByteSize = 8;
        settings_.Parity = NOPARITY;
        settings_.StopBits = ONESTOPBIT;
        settings_.XonChar = 0x11;
        settings_.XoffChar = 0x13;
        return SetCommState(port_.get(), &settings_) != FALSE;
    }

    bool SetDtr(bool raised) override {
        return port_ && EscapeCommFunction(port_.get(), raised ? SETDTR : CLRDTR) != FALSE;
    }

    WriteOutcome Write(std::span<const std::uint8_t> bytes) override {
        if (!port_ || bytes.size() > MAXDWORD) return WriteOutcome::Failed;
        DWORD written = 0;
        if (WriteFile(port_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                      &overlapped_)) {
            return WriteOutcome::Completed;
        }
        if (GetLastError() == ERROR_IO_PENDING) {
            while (!GetOverlappedResult(port_.get(), &overlapped_, &written, TRUE)) {
                if (GetLastError() != ERROR_IO_INCOMPLETE) {
                    ClearPortErrors();
                    break;
                }
            }
            return WriteOutcome::Waited;
        }
        ClearPortErrors();
        return WriteOutcome::Failed;
    }

    void Close() override {
        port_.reset();
        event_.reset();
    }

private:
    void ClearPortErrors() {
        DWORD errors = 0;
        ClearCommError(port_.get(), &errors, nullptr);
    }

    UniqueHandle port_;
    UniqueHandle event_;
    OVERLAPPED overlapped_{};
    DCB settings_{};
};

}  // namespace

SerialPortOpening OpenSerialPortDevice(const std::string& name) {
    HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return {nullptr, name + ": " + Win32ErrorText(error)};
    }
    return {std::make_unique<Win32SerialPort>(port), {}};
}

}  // namespace velscan::platform
