#pragma once
// A card device that keeps every control it receives (code, input bytes,
// output size, time on the given clock, else on the active backend's clock)
// and answers from a script: which controls fail from which issue on, what
// each block read delivers, and the status record. The script and the log
// live in a shared CardScript, so a test can keep looking at them after the
// library has taken or closed the device.
//
//   auto card = std::make_shared<fakes::CardScript>();
//   card->Deliver(samples);                           // next block read
//   card->FailFrom(kControlRegisterWrite, 4);         // 4th write on fails
//   backend.openCardDevice = fakes::CardOpener(card, clock.get());

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "conversion/samples.hpp"
#include "platform/card_device.hpp"
#include "platform/clock.hpp"

namespace velscan::fakes {

struct CardControlCall {
    std::uint32_t code = 0;
    std::vector<std::uint8_t> input;
    std::size_t outputSize = 0;
    bool inputIsOutput = false;  // one buffer passed both ways
    std::chrono::nanoseconds at{0};
    bool succeeded = false;
};

// What one block read returns.
struct BlockDelivery {
    std::vector<RawSample> samples;
    // Bytes returned as reported to the caller; unset: the bytes of the records
    // actually written. Lets a test report partial records, or more bytes than
    // the buffer holds, as a misbehaving driver would.
    std::optional<std::uint32_t> bytesReturned;
};

struct CardScript {
    // ---- script ----
    // Code -> issue number (counting from 1) from which that control fails.
    std::map<std::uint32_t, std::size_t> failFrom;
    // Answers of the successive block reads. A delivery larger than the read's
    // buffer hands over what fits and keeps the rest at the front of the queue,
    // like a card's sample buffer.
    std::deque<BlockDelivery> deliveries;
    // Called for a block read once `deliveries` is empty (capacity in records);
    // unset: such a read succeeds with 0 bytes (the card has nothing yet).
    std::function<std::vector<RawSample>(std::size_t capacity)> source;
    // The record the status read returns (the fifth word is the overflow flag).
    std::array<std::uint32_t, 7> status{};

    // ---- log ----
    std::vector<CardControlCall> calls;
    int devicesOpened = 0;
    int devicesDestroyed = 0;

    // ---- conveniences ----
    void FailFrom(std::uint32_t code, std::size_t issue) { failFrom[code] = issue; }
    void FailAlways(std::uint32_t code) { failFrom[code] = 1; }
    void Deliver(std::vector<RawSample> samples) { deliveries.push_back({std::move(samples), {}}); }
    void DeliverCount(std::size_t count, std::uint32_t firstRangeWord = 0);
    void DeliverEmpty(std::size_t reads = 1);
    void DeliverBytes(std::vector<RawSample> samples, std::uint32_t bytesReturned) {
        deliveries.push_back({std::move(samples), bytesReturned});
    }
    void SetOverflow(bool overflowed) { status[4] = overflowed ? 0x80000000u : 0u; }

    std::vector<std::uint32_t> Codes() const;
    std::size_t CountOf(std::uint32_t code) const;
    std::vector<CardControlCall> CallsOf(std::uint32_t code) const;
    int OpenDevices() const { return devicesOpened - devicesDestroyed; }
};

class ScriptedCardDevice : public platform::CardDevice {
public:
    ScriptedCardDevice(std::shared_ptr<CardScript> script, const platform::Clock* clock = nullptr);
    ~ScriptedCardDevice() override;
    ScriptedCardDevice(const ScriptedCardDevice&) = delete;
    ScriptedCardDevice& operator=(const ScriptedCardDevice&) = delete;

    platform::ControlResult Control(std::uint32_t code, std::span<const std::byte> input,
                                    std::span<std::byte> output) override;

private:
    platform::ControlResult BlockRead(std::span<std::byte> output);
    platform::ControlResult StatusRead(std::span<std::byte> output);

    std::shared_ptr<CardScript> script_;
    const platform::Clock* clock_;
};

// A backend opener (Backend::openCardDevice) handing out a new
// ScriptedCardDevice on `script` each time it is called.
std::function<std::unique_ptr<platform::CardDevice>()> CardOpener(
    std::shared_ptr<CardScript> script, const platform::Clock* clock = nullptr);

// A sample whose words are all derived from `index`, so that a test can tell
// records apart and check their order; rangeWord = index.
RawSample NumberedSample(std::uint32_t index);

// The controls and pauses in the order they happened, merged by time: controls
// as short names ("reset", "stop", "enable1", "enable2", "setup", "clear",
// "switch 1", "encoder 3", "read", "status", "write 0036=00A0"), pauses as
// "pause 50". Pauses must be recorded on the clock the device was given.
// `origin` is the clock's time when the first of `pauses` began.
std::vector<std::string> Timeline(const CardScript& script,
                                  const std::vector<std::uint32_t>& pauses,
                                  std::chrono::nanoseconds origin = {});
std::string ControlName(const CardControlCall& call);

}  // namespace velscan::fakes
