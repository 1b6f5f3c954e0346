#include "scripted_card_device.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cardlib/device_controls.hpp"
#include "platform/backend.hpp"

namespace velscan::fakes {

void CardScript::DeliverCount(std::size_t count, std::uint32_t firstRangeWord) {
    std::vector<RawSample> samples;
    for (std::size_t i = 0; i < count; ++i)
        samples.push_back(NumberedSample(firstRangeWord + static_cast<std::uint32_t>(i)));
    Deliver(std::move(samples));
}

void CardScript::DeliverEmpty(std::size_t reads) {
    for (std::size_t i = 0; i < reads; ++i) Deliver({});
}

std::vector<std::uint32_t> CardScript::Codes() const {
    std::vector<std::uint32_t> codes;
    for (const CardControlCall& call : calls) codes.push_back(call.code);
    return codes;
}

std::size_t CardScript::CountOf(std::uint32_t code) const {
    return static_cast<std::size_t>(std::count_if(
        calls.begin(), calls.end(), [code](const CardControlCall& c) { return c.code == code; }));
}

std::vector<CardControlCall> CardScript::CallsOf(std::uint32_t code) const {
    std::vector<CardControlCall> matching;
    for (const CardControlCall& call : calls)
        if (call.code == code) matching.push_back(call);
    return matching;
}

std::function<std::unique_ptr<platform::CardDevice>()> CardOpener(
    std::shared_ptr<CardScript> script, const platform::Clock* clock) {
    return [script = std::move(script), clock]() -> std::unique_ptr<platform::CardDevice> {
        return std::make_unique<ScriptedCardDevice>(script, clock);
    };
}

ScriptedCardDevice::ScriptedCardDevice(std::shared_ptr<CardScript> script,
                                       const platform::Clock* clock)
    : script_(std::move(script)), clock_(clock) {
    ++script_->devicesOpened;
}

ScriptedCardDevice::~ScriptedCardDevice() { ++script_->devicesDestroyed; }

platform::ControlResult ScriptedCardDevice::Control(std::uint32_t code,
                                                    std::span<const std::byte> input,
                                                    std::span<std::byte> output) {
    CardControlCall call;
    call.code = code;
    for (std::byte b : input) call.input.push_back(std::to_integer<std::uint8_t>(b));
    call.outputSize = output.size();
    call.inputIsOutput = !input.empty() && input.data() == output.data();
    call.at = clock_ ? clock_->Now() : platform::ActiveBackend().clock->Now();

    const std::size_t issue = script_->CountOf(code) + 1;
    const auto failing = script_->failFrom.find(code);
    const bool fails = failing != script_->failFrom.end() && issue >= failing->second;

    platform::ControlResult result{!fails, 0};
    if (!fails && code == kControlBlockRead) result = BlockRead(output);
    if (!fails && code == kControlStatus) result = StatusRead(output);
    call.succeeded = result.succeeded;
    script_->calls.push_back(std::move(call));
    return result;
}

platform::ControlResult ScriptedCardDevice::BlockRead(std::span<std::byte> output) {
    const std::size_t capacity = output.size() / kRawSampleBytes;
    BlockDelivery delivery;
    if (!script_->deliveries.empty()) {
        BlockDelivery& front = script_->deliveries.front();
        if (front.samples.size() > capacity && !front.bytesReturned) {
            // Hand over what fits; the rest waits for the next read.
            const auto split = front.samples.begin() + static_cast<std::ptrdiff_t>(capacity);
            delivery.samples.assign(front.samples.begin(), split);
            front.samples.erase(front.samples.begin(), split);
        } else {
            delivery = std::move(front);
            script_->deliveries.pop_front();
        }
    } else if (script_->source) {
        delivery.samples = script_->source(capacity);
    }

    const std::size_t written = std::min(delivery.samples.size(), capacity);
    if (written > 0)
        std::memcpy(output.data(), delivery.samples.data(), written * kRawSampleBytes);
    const auto bytes = delivery.bytesReturned.value_or(
        static_cast<std::uint32_t>(written * kRawSampleBytes));
    return {true, bytes};
}

platform::ControlResult ScriptedCardDevice::StatusRead(std::span<std::byte> output) {
    const std::size_t bytes = std::min(output.size(), sizeof(script_->status));
    if (bytes > 0) std::memcpy(output.data(), script_->status.data(), bytes);
    return {true, static_cast<std::uint32_t>(bytes)};
}

RawSample NumberedSample(std::uint32_t index) {
    return RawSample{0x01000000u | index, 0x10000u + index, 0x20000u + index, index};
}

std::string ControlName(const CardControlCall& call) {
    const auto word16 = [&call](std::size_t at) {
        return static_cast<unsigned>(call.input.at(at) | (call.input.at(at + 1) << 8));
    };
    char text[32];
    switch (call.code) {
        case kControlBoardReset: return "reset";
        case kControlSamplingEnableStep1: return "enable1";
        case kControlSamplingEnableStep2: return "enable2";
        case kControlSamplingStop: return "stop";
        case kControlSetupWord: return "setup";
        case kControlClearSampleBuffer: return "clear";
        case kControlBlockRead: return "read";
        case kControlStatus: return "status";
        case kControlSwitch: std::snprintf(text, sizeof text, "switch %u", word16(0)); return text;
        case kControlEncoder: std::snprintf(text, sizeof text, "encoder %u", word16(0)); return text;
        case kControlRegisterWrite:
            std::snprintf(text, sizeof text, "write %04X=%04X", word16(0), word16(2));
            return text;
        default: std::snprintf(text, sizeof text, "0x%08x", call.code); return text;
    }
}

std::vector<std::string> Timeline(const CardScript& script,
                                  const std::vector<std::uint32_t>& pauses,
                                  std::chrono::nanoseconds origin) {
    // Time only advances through pauses, so a control at time t follows every
    // pause that had ended by t and precedes the others.
    std::vector<std::string> events;
    std::size_t next = 0;
    std::chrono::nanoseconds pauseEnd = origin;
    const auto emitPause = [&] {
        events.push_back("pause " + std::to_string(pauses[next]));
        ++next;
    };
    for (const CardControlCall& call : script.calls) {
        while (next < pauses.size() &&
               pauseEnd + std::chrono::milliseconds(pauses[next]) <= call.at) {
            pauseEnd += std::chrono::milliseconds(pauses[next]);
            emitPause();
        }
        events.push_back(ControlName(call));
    }
    while (next < pauses.size()) emitPause();
    return events;
}

}  // namespace velscan::fakes
