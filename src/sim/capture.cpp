#include "sim/capture.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "cardlib/protocol.hpp"
#include "conversion/printable_text.hpp"
#include "conversion/samples.hpp"
#include "platform/files/output_files.hpp"

namespace velscan::sim {

namespace {

// A FIFO or device as capture is opened without waiting for a reader.
std::FILE* OpenCapture(const std::string& path) {
    std::error_code whyNot;
    return files::OpenRunningFile(path, files::Content::Binary, whyNot);
}

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

CaptureFile::CaptureFile(const std::string& path)
    : path_(path), file_(OpenCapture(path)) {
    if (!file_) throw CaptureError("VELSCAN_CAPTURE: cannot create " + PrintableText(path));
}

void CaptureFile::Append(std::span<const std::byte> records) {
    if (Failed() || !file_) return;
    errno = 0;
    if (std::fwrite(records.data(), 1, records.size(), file_.get()) != records.size() ||
        std::fflush(file_.get()) != 0)
        problem_ = errno != 0 ? std::strerror(errno) : "write failed";
}

std::string CaptureFile::Finish() {
    if (file_) {
        errno = 0;
        if (std::fclose(file_.release()) != 0 && !Failed())
            problem_ = errno != 0 ? std::strerror(errno) : "close failed";
    }
    if (!Failed()) return {};
    return "Error: the capture file " + PrintableText(path_) + " could not be written completely: " + problem_ +
           "\n";
}

std::unique_ptr<platform::CardDevice> WrapWithCapture(std::unique_ptr<platform::CardDevice> device,
                                                      std::shared_ptr<CaptureFile> capture) {
    if (!device) return nullptr;
    return std::make_unique<CapturingCardDevice>(std::move(device), std::move(capture));
}

}  // namespace velscan::sim
