#pragma once
// The card device seam: one opened device of the card's driver, driven with
// synchronous device controls. Closing happens in the destructor.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

namespace velscan::platform {

struct ControlResult {
    bool succeeded = false;
    std::uint32_t bytesReturned = 0;
};

class CardDevice {
public:
    virtual ~CardDevice() = default;
    // Issues one control synchronously. An empty span is a null buffer of
    // length 0. `input` and `output` may be the same buffer.
    virtual ControlResult Control(std::uint32_t code, std::span<const std::byte> input,
                                  std::span<std::byte> output) = 0;
};

struct CardDeviceOpening {
    CardDeviceOpening() = default;
    // An opener that knows no reason may hand back its device (or null) alone.
    CardDeviceOpening(std::unique_ptr<CardDevice> opened, std::string why = {})
        : device(std::move(opened)), failure(std::move(why)) {}
    CardDeviceOpening(std::nullptr_t) {}

    std::unique_ptr<CardDevice> device;  // null when the open failed
    // Why it failed, after the device's path; empty after a success.
    std::string failure;
};

// Opens a device of the operating system by path (on Windows CreateFileA with
// read/write access, no sharing, OPEN_EXISTING and FILE_FLAG_NO_BUFFERING).
// No device when it cannot be opened; elsewhere there is no card driver and
// the open always fails.
CardDeviceOpening OpenCardDeviceFile(const std::string& path);

// The card driver's device path on Windows.
inline constexpr const char* kDefaultCardDevicePath = "\\\\.\\KT7100";

}  // namespace velscan::platform
