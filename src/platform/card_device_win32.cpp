// The card device on Windows: the driver's device opened with CreateFileA and
// driven with synchronous DeviceIoControl calls.
#include <windows.h>

#include <limits>

#include "platform/card_device.hpp"
#include "platform/win32_error_text.hpp"

namespace velscan::platform {

namespace {

class Win32CardDevice final : public CardDevice {
public:
    explicit Win32CardDevice(HANDLE device) : device_(device) {}
    ~Win32CardDevice() override { CloseHandle(device_); }
    Win32CardDevice(const Win32CardDevice&) = delete;
    Win32CardDevice& operator=(const Win32CardDevice&) = delete;

    ControlResult Control(std::uint32_t code, std::span<const std::byte> input,
                          std::span<std::byte> output) override {
        constexpr std::size_t kMaxLength = std::numeric_limits<DWORD>::max();
        if (input.size() > kMaxLength || output.size() > kMaxLength) return {};
        // No OVERLAPPED: the call returns when the driver has completed it.
        // An empty span is a null buffer of length 0.
        DWORD returned = 0;
        const BOOL ok = DeviceIoControl(
            device_, code,
            input.empty() ? nullptr : const_cast<std::byte*>(input.data()),
            static_cast<DWORD>(input.size()), output.empty() ? nullptr : output.data(),
            static_cast<DWORD>(output.size()), &returned, nullptr);
        return {ok != FALSE, static_cast<std::uint32_t>(returned)};
    }

private:
    HANDLE device_;
};

}  // namespace

CardDeviceOpening OpenCardDeviceFile(const std::string& path) {
    HANDLE device = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return {nullptr, path + ": " + Win32ErrorText(error)};
    }
    return {std::make_unique<Win32CardDevice>(device), {}};
}

}  // namespace velscan::platform
