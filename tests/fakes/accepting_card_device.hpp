#pragma once
// A card device that accepts every control and returns no bytes: enough for
// operations that only need an open board.

#include "platform/card_device.hpp"

namespace velscan::fakes {

class AcceptingCardDevice : public platform::CardDevice {
public:
    platform::ControlResult Control(std::uint32_t, std::span<const std::byte>,
                                    std::span<std::byte>) override {
        return {true, 0};
    }
};

}  // namespace velscan::fakes
