#pragma once
// A serial port that keeps every call it receives, in order, with the bytes
// written and the time of the clock it is given, and that can be told to fail.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.hpp"
#include "platform/serial_port.hpp"

namespace velscan::fakes {

struct SerialCall {
    std::string name;        // "SetEventMask", "Purge", "Write", ...
    std::uint64_t value = 0; // mask, flags, baud rate and flow control, DTR level
    std::string bytes;       // for Write
    std::chrono::nanoseconds at{0};
};

struct SerialPortLog {
    std::vector<SerialCall> calls;
    // Concatenation of every written text, in order.
    std::string Written() const {
        std::string all;
        for (const SerialCall& call : calls)
            if (call.name == "Write") all += call.bytes;
        return all;
    }
    std::vector<std::string> Writes() const {
        std::vector<std::string> writes;
        for (const SerialCall& call : calls)
            if (call.name == "Write") writes.push_back(call.bytes);
        return writes;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const SerialCall& call : calls) names.push_back(call.name);
        return names;
    }
};

class RecordingSerialPort : public platform::SerialPort {
public:
    explicit RecordingSerialPort(std::shared_ptr<SerialPortLog> log,
                                 const platform::Clock* clock = nullptr)
        : log_(std::move(log)), clock_(clock) {}
    ~RecordingSerialPort() override {
        if (!closed_) Record("Destroyed");
    }

    bool refuseLineSettings = false;
    platform::WriteOutcome writeResult = platform::WriteOutcome::Completed;

    bool SetEventMask(std::uint32_t mask) override { return Record("SetEventMask", mask); }
    bool SetQueueSizes(std::uint32_t input, std::uint32_t output) override {
        return Record("SetQueueSizes", (std::uint64_t{input} << 32) | output);
    }
    bool Purge(std::uint32_t flags) override { return Record("Purge", flags); }
    bool SetTimeouts(const platform::CommTimeouts& timeouts) override {
        return Record("SetTimeouts", timeouts.writeTotalTimeoutConstant);
    }
    bool ApplyLineSettings(std::uint32_t baudRate) override {
        Record("ApplyLineSettings", baudRate);
        return !refuseLineSettings;
    }
    bool SetDtr(bool raised) override { return Record("SetDtr", raised ? 1 : 0); }
    platform::WriteOutcome Write(std::span<const std::uint8_t> bytes) override {
        SerialCall call{"Write", bytes.size(), std::string(bytes.begin(), bytes.end()), Now()};
        log_->calls.push_back(std::move(call));
        return writeResult;
    }
    void Close() override {
        Record("Close");
        closed_ = true;
    }

private:
    bool Record(const char* name, std::uint64_t value = 0) {
        log_->calls.push_back(SerialCall{name, value, {}, Now()});
        return true;
    }
    std::chrono::nanoseconds Now() const {
        return clock_ ? clock_->Now() : std::chrono::nanoseconds{0};
    }

    std::shared_ptr<SerialPortLog> log_;
    const platform::Clock* clock_;
    bool closed_ = false;
};

}  // namespace velscan::fakes
