#pragma once
// A whole recording run against fakes: a recording clock, a scripted card and
// a recording serial port behind the active backend, and a scripted keyboard
// and the same clock given to the run, in
// a temporary working directory that holds a lookup file. Every serial call,
// card control and pause goes into one event list, in the order it happened.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "acquisition/command_line.hpp"
#include "acquisition/run_acquisition.hpp"
#include "acquisition/run_context.hpp"
#include "cardlib/vexa.hpp"
#include "platform/backend.hpp"
#include "recording_clock.hpp"
#include "recording_serial_port.hpp"
#include "scripted_card_device.hpp"

namespace velscan::runtest {

namespace fs = std::filesystem;

// The events in order; `onEvent` sees each as it happens (a test may act on
// one, say a stop request at a given control).
struct EventLog : std::vector<std::string> {
    void push_back(std::string event) {
        if (onEvent) onEvent(event);
        std::vector<std::string>::push_back(std::move(event));
    }
    std::function<void(const std::string&)> onEvent;
};

class EventClock : public fakes::RecordingClock {
public:
    explicit EventClock(std::shared_ptr<EventLog> events) : events_(std::move(events)) {}
    void SleepMs(std::uint32_t ms) override {
        events_->push_back("pause " + std::to_string(ms));
        fakes::RecordingClock::SleepMs(ms);
    }

private:
    std::shared_ptr<EventLog> events_;
};

class EventCard : public platform::CardDevice {
public:
    EventCard(std::shared_ptr<fakes::CardScript> script, std::shared_ptr<EventLog> events,
              const platform::Clock* clock)
        : script_(script), events_(std::move(events)), inner_(script, clock) {}
    ~EventCard() override { events_->push_back("card closed"); }
    platform::ControlResult Control(std::uint32_t code, std::span<const std::byte> input,
                                    std::span<std::byte> output) override {
        const platform::ControlResult result = inner_.Control(code, input, output);
        events_->push_back(fakes::ControlName(script_->calls.back()));
        return result;
    }

private:
    std::shared_ptr<fakes::CardScript> script_;
    std::shared_ptr<EventLog> events_;
    fakes::ScriptedCardDevice inner_;
};

class EventSerialPort : public fakes::RecordingSerialPort {
public:
    EventSerialPort(std::shared_ptr<fakes::SerialPortLog> log, std::shared_ptr<EventLog> events,
                    const platform::Clock* clock)
        : fakes::RecordingSerialPort(std::move(log), clock), events_(std::move(events)) {}
    bool Purge(std::uint32_t flags) override {
        events_->push_back("serial purge");
        return fakes::RecordingSerialPort::Purge(flags);
    }
    platform::WriteOutcome Write(std::span<const std::uint8_t> bytes) override {
        events_->push_back("serial write " + std::string(bytes.begin(), bytes.end()));
        return fakes::RecordingSerialPort::Write(bytes);
    }
    void Close() override {
        events_->push_back("serial close");
        fakes::RecordingSerialPort::Close();
    }

private:
    std::shared_ptr<EventLog> events_;
};

// Keys waiting on the console, read one at a time.
class ScriptedConsole : public platform::Console {
public:
    bool KeyWaiting() override {
        ++polls;
        return !keys.empty();
    }
    int ReadKey() override {
        const int key = keys.front();
        keys.pop_front();
        return key;
    }

    std::deque<int> keys;
    int polls = 0;
};

// A sample that converts without any message: status byte with index bits
// only, amplitude 200, temperature byte 100, fine value 0.
inline RawSample QuietSample(std::uint32_t index) {
    const std::uint32_t status = (index % 4) << 2;
    return RawSample{0xC8006400u | status, index, index % 200, (1000u + index % 100) << 13};
}

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
    std::string exception;  // what() of an exception that left the run
};

class RunFixture : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        directory_ = fs::temp_directory_path() /
                     ("velscan-run-" + std::string(test->name()) + "-" +
                      std::to_string(std::random_device{}()));
        fs::create_directories(directory_);
        previous_ = fs::current_path();
        fs::current_path(directory_);
        WriteLookupFile();

        // Calibration reads one block of 20 samples whose fourth carries the value.
        std::vector<RawSample> calibration(20, RawSample{0, 0, 0, 800});
        card->Deliver(calibration);
        card->source = [this](std::size_t capacity) {
            const int line = linesDelivered++;
            if (onLineRead) onLineRead(line);
            std::vector<RawSample> samples;
            for (std::size_t i = 0; i < capacity; ++i)
                samples.push_back(QuietSample(static_cast<std::uint32_t>(i)));
            if (alterLine) alterLine(line, samples);
            return samples;
        };

        platform::Backend backend;
        backend.clock = clock;
        backend.openSerialPort =
            [this](std::int32_t port) -> platform::SerialPortOpening {
            events->push_back("serial open " + std::to_string(port));
            if (noLaser) return platform::SerialPortOpening(nullptr, laserFailure);
            return platform::SerialPortOpening(
                std::make_unique<EventSerialPort>(serial, events, clock.get()));
        };
        backend.openCardDevice = [this]() -> platform::CardDeviceOpening {
            events->push_back("card open");
            if (noCard) return platform::CardDeviceOpening(nullptr, cardFailure);
            return platform::CardDeviceOpening(
                std::make_unique<EventCard>(card, events, clock.get()));
        };
        scoped_.emplace(std::move(backend));
    }

    void TearDown() override {
        scoped_.reset();
        VexaInitBoards();
        fs::current_path(previous_);
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    void WriteLookupFile() {
        std::ofstream lookup("LOOKUPHS");
        lookup << "100 200\n70 70\n0 0 0 0 0 0 0 0 0\n";
        for (int row = 0; row < 256; ++row) lookup << "1000 2000\n";
        lookup << "0\n";
    }

    // The run with its console lines captured; an exception leaving the run
    // is caught, and the lines printed before it are kept.
    Outcome Run(const RunSettings& settings) {
        Outcome outcome;
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        try {
            outcome.exitCode = RunUncaptured(settings);
        } catch (const std::exception& problem) {
            outcome.exception = problem.what();
        }
        outcome.out = ::testing::internal::GetCapturedStdout();
        outcome.err = ::testing::internal::GetCapturedStderr();
        return outcome;
    }
    int RunUncaptured(const RunSettings& settings) {
        plan.laserHint = laserHint;
        plan.cardHint = cardHint;
        const RunContext context{*console, *clock, plan, finishCapture, commandLine, wallClock, {}, startCapture};
        return RunAcquisition(settings, context);
    }

    static RunSettings Settings(std::int32_t lines, const std::string& file = "scan.txt") {
        RunSettings settings;
        settings.outputFileName = file;
        settings.lines = lines;
        return settings;
    }

    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static std::size_t Rows(const std::string& table) {
        return static_cast<std::size_t>(std::count(table.begin(), table.end(), '\n'));
    }
    // The names in the working directory other than the lookup file.
    std::vector<std::string> OtherFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory_))
            if (entry.path().filename() != "LOOKUPHS")
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::size_t Count(const std::string& event) const {
        return static_cast<std::size_t>(std::count(events->begin(), events->end(), event));
    }
    // Position of the first `event` at or after `from`; events->size() if none.
    std::size_t Find(const std::string& event, std::size_t from = 0) const {
        const auto at = std::find(events->begin() + static_cast<std::ptrdiff_t>(from),
                                  events->end(), event);
        return static_cast<std::size_t>(at - events->begin());
    }
    std::size_t FindLast(const std::string& event) const {
        const auto at = std::find(events->rbegin(), events->rend(), event);
        return at == events->rend() ? events->size()
                                    : static_cast<std::size_t>(events->rend() - at - 1);
    }
    // True when `expected` occurs in the event list in this order (others may lie between).
    bool InOrder(const std::vector<std::string>& expected) const {
        std::size_t at = 0;
        for (const std::string& event : expected) {
            at = Find(event, at);
            if (at == events->size()) return false;
            ++at;
        }
        return true;
    }

public:
    // Open to the arrangements of parameterised tests.
    std::shared_ptr<EventLog> events = std::make_shared<EventLog>();
    std::shared_ptr<EventClock> clock = std::make_shared<EventClock>(events);
    std::shared_ptr<fakes::CardScript> card = std::make_shared<fakes::CardScript>();
    std::shared_ptr<fakes::SerialPortLog> serial = std::make_shared<fakes::SerialPortLog>();
    std::shared_ptr<ScriptedConsole> console = std::make_shared<ScriptedConsole>();
    bool noLaser = false;
    bool noCard = false;
    // What the failing openers say (empty: no reason given).
    std::string laserFailure;
    std::string cardFailure;
    std::string laserHint;
    std::string cardHint;
    BackendPlan plan;
    // The run's capture finisher: empty for no capture.
    std::function<std::string()> finishCapture;
    std::function<std::string()> startCapture;
    std::vector<std::string> commandLine{"velscan", "scan.txt"};
    // A fixed wall clock: 2026-12-09T07:30:00.000Z.
    platform::WallClock wallClock = [] {
        return std::chrono::system_clock::time_point(std::chrono::milliseconds(1796801400000));
    };
    int linesDelivered = 0;
    std::function<void(int line)> onLineRead;
    std::function<void(int line, std::vector<RawSample>& samples)> alterLine;
    fs::path directory_;

private:
    fs::path previous_;
    std::optional<platform::ScopedBackend> scoped_;
};

}  // namespace velscan::runtest
