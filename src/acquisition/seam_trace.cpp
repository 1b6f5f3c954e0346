#include "acquisition/seam_trace.hpp"

#include <cstdio>
#include <memory>
#include <system_error>
#include <utility>

#include "conversion/printable_text.hpp"
#include "platform/files/output_files.hpp"

namespace velscan {

using platform::CardDevice;
using platform::CommTimeouts;
using platform::ControlResult;
using platform::SerialPort;

namespace {

// The open trace file, shared by every traced port and device.
class TraceFile {
public:
    explicit TraceFile(std::FILE* file) : file_(file) {}
    ~TraceFile() { std::fclose(file_); }
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    // One line, flushed at once so a program ended early leaves it complete.
    void Line(const std::string& text) {
        std::fputs(text.c_str(), file_);
        std::fputc('\n', file_);
        std::fflush(file_);
    }

private:
    std::FILE* file_;
};

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(value));
    return text;
}

std::string Escaped(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (byte == '\n') {
            text += "\\n";
        } else if (byte == '\r') {
            text += "\\r";
        } else if (byte == '\\') {
            text += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(byte));
            text += escape;
        } else {
            text += static_cast<char>(byte);
        }
    }
    return text;
}

class TracedSerialPort final : public SerialPort {
public:
    TracedSerialPort(std::unique_ptr<SerialPort> port, std::shared_ptr<TraceFile> trace)
        : port_(std::move(port)), trace_(std::move(trace)) {}

    bool SetEventMask(std::uint32_t mask) override {
        trace_->Line("serial event mask " + Hex(mask));
        return port_->SetEventMask(mask);
    }
    bool SetQueueSizes(std::uint32_t input, std::uint32_t output) override {
        trace_->Line("serial queue sizes " + std::to_string(input) + " " + std::to_string(output));
        return port_->SetQueueSizes(input, output);
    }
    bool Purge(std::uint32_t flags) override {
        trace_->Line("serial purge " + Hex(flags));
        return port_->Purge(flags);
    }
    bool SetTimeouts(const CommTimeouts& timeouts) override {
        trace_->Line("serial timeouts " + Hex(timeouts.readIntervalTimeout) + " " +
                     std::to_string(timeouts.readTotalTimeoutMultiplier) + " " +
                     std::to_string(timeouts.readTotalTimeoutConstant) + " " +
                     std::to_string(timeouts.writeTotalTimeoutMultiplier) + " " +
                     std::to_string(timeouts.writeTotalTimeoutConstant));
        return port_->SetTimeouts(timeouts);
    }
    bool ApplyLineSettings(std::uint32_t baudRate) override {
        const bool applied = port_->ApplyLineSettings(baudRate);
        trace_->Line("serial line settings " + std::to_string(baudRate) + " 8N1 " +
                     (applied ? "ok" : "refused"));
        return applied;
    }
    bool SetDtr(bool raised) override {
        trace_->Line(raised ? "serial dtr raised" : "serial dtr lowered");
        return port_->SetDtr(raised);
    }
    platform::WriteOutcome Write(std::span<const std::uint8_t> bytes) override {
        trace_->Line("serial write " + Escaped(bytes));
        return port_->Write(bytes);
    }
    void Close() override {
        trace_->Line("serial close");
        port_->Close();
    }

private:
    std::unique_ptr<SerialPort> port_;
    std::shared_ptr<TraceFile> trace_;
};

class TracedCardDevice final : public CardDevice {
public:
    TracedCardDevice(std::unique_ptr<CardDevice> device, std::shared_ptr<TraceFile> trace)
        : device_(std::move(device)), trace_(std::move(trace)) {}
    ~TracedCardDevice() override {
        device_.reset();
        trace_->Line("card close");
    }
    TracedCardDevice(const TracedCardDevice&) = delete;
    TracedCardDevice& operator=(const TracedCardDevice&) = delete;

    ControlResult Control(std::uint32_t code, std::span<const std::byte> input,
                          std::span<std::byte> output) override {
        // The input is taken before the control: it may share the output buffer.
        std::string line = "card control " + Hex(code) + " ";
        if (input.empty()) line += "-";
        for (const std::byte b : input) {
            char digits[4];
            std::snprintf(digits, sizeof digits, "%02x", std::to_integer<unsigned>(b));
            line += digits;
        }
        const ControlResult result = device_->Control(code, input, output);
        trace_->Line(line + (result.succeeded ? " ok" : " failed"));
        return result;
    }

private:
    std::unique_ptr<CardDevice> device_;
    std::shared_ptr<TraceFile> trace_;
};

}  // namespace

bool TraceBackend(platform::Backend& backend, const std::string& path, std::string& error) {
    // A FIFO nobody reads is refused here rather than waited for.
    std::error_code whyNot;
    std::FILE* file = files::OpenRunningFile(path, files::Content::Text, whyNot);
    if (file == nullptr) {
        error = std::string("Error: ") + kTraceCreateError + PrintableText(path) + "\n";
        return false;
    }
    auto trace = std::make_shared<TraceFile>(file);

    backend.openSerialPort = [open = std::move(backend.openSerialPort),
                              trace](std::int32_t portNumber) -> platform::SerialPortOpening {
        platform::SerialPortOpening opening =
            open ? open(portNumber) : platform::SerialPortOpening();
        trace->Line(std::string(opening.port ? "serial open " : "serial open failed ") +
                    std::to_string(portNumber));
        if (!opening.port) return opening;
        return platform::SerialPortOpening(
            std::make_unique<TracedSerialPort>(std::move(opening.port), trace));
    };
    backend.openCardDevice = [open = std::move(backend.openCardDevice),
                              trace]() -> platform::CardDeviceOpening {
        platform::CardDeviceOpening opening = open ? open() : platform::CardDeviceOpening();
        trace->Line(opening.device ? "card open" : "card open failed");
        if (!opening.device) return opening;
        return platform::CardDeviceOpening(
            std::make_unique<TracedCardDevice>(std::move(opening.device), trace));
    };
    return true;
}

}  // namespace velscan
