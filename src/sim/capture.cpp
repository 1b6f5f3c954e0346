#include "sim/capture.hpp"

#include <algorithm>

#include "cardlib/protocol.hpp"
#include "conversion/samples.hpp"

namespace velscan::sim {

namespace {

class CapturingCardDevice final : public platform::CardDevice {
public:
    CapturingCardDevice(std::unique_ptr<platform::CardDevice> device,
                        std::shared_ptr<CaptureFile> capture)
        : device_(std::move(device)), capture_(std::move(capture)) {}

    platform::ControlResult Control(std::uint32_t code, std::span<const std::byte> input,
                                    std::span<std::byte> output) override {
        const platform::ControlResult result = device_->Control(code, input, output);
        if (code == kControlBlockRead && result.succeeded) {
            const std::size_t bytes =
                std::min<std::size_t>(result.bytesReturned, output.size()) / kRawSampleBytes *
                kRawSampleBytes;
            if (bytes > 0) capture_->Append(output.first(bytes));
        }
        return result;
    }

private:
    std::unique_ptr<platform::CardDevice> device_;
    std::shared_ptr<CaptureFile> capture_;
};

}  // namespace

std::unique_ptr<platform::CardDevice> WrapWithCapture(std::unique_ptr<platform::CardDevice> device,
                                                      std::shared_ptr<CaptureFile> capture) {
    if (!device) return nullptr;
    return std::make_unique<CapturingCardDevice>(std::move(device), std::move(capture));
}

}  // namespace velscan::sim
