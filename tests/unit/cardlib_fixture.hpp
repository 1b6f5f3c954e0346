#pragma once
// A board table test bed: a recording clock and a scripted card behind the
// active backend, and a board table set back to its defaults around each test.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cardlib/device_controls.hpp"
#include "cardlib/vexa.hpp"
#include "platform/backend.hpp"
#include "recording_clock.hpp"
#include "scripted_card_device.hpp"

namespace velscan::cardtest {

class CardFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Backend backend;
        backend.clock = clock;
        backend.openCardDevice = fakes::CardOpener(card, clock.get());
        backend.openSerialPort = [](std::int32_t) { return std::unique_ptr<platform::SerialPort>(); };
        scoped.emplace(std::move(backend));
        VexaInitBoards();
    }
    void TearDown() override {
        VexaInitBoards();
        scoped.reset();
    }

    // Opens a board and forgets the reset it took, so a test sees only its own controls.
    std::uint32_t OpenBoard(SerialLink* link = nullptr) {
        const std::int32_t index = VexaOpen(0, link);
        EXPECT_GE(index, 0);
        Forget();
        return static_cast<std::uint32_t>(index);
    }
    void Forget() {
        card->calls.clear();
        clock->pauses.clear();
        origin = clock->Now();
    }
    // Controls and pauses in order since the last Forget().
    std::vector<std::string> Events() const { return fakes::Timeline(*card, clock->pauses, origin); }

    std::shared_ptr<fakes::RecordingClock> clock = std::make_shared<fakes::RecordingClock>();
    std::shared_ptr<fakes::CardScript> card = std::make_shared<fakes::CardScript>();
    std::optional<platform::ScopedBackend> scoped;
    std::chrono::nanoseconds origin{0};
};

// The register writes of a table with the pause after each, as Events() shows them.
inline std::vector<std::string> TableEvents(const std::vector<std::string>& writes) {
    std::vector<std::string> events;
    for (const std::string& write : writes) {
        events.push_back(write);
        events.push_back("pause 50");
    }
    return events;
}

}  // namespace velscan::cardtest
