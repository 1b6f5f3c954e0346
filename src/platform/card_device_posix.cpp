// The card's kernel driver exists only on Windows: here no path names the card,
// so the open always fails (a simulated or replayed card stands in instead).
#include "platform/card_device.hpp"

namespace velscan::platform {

CardDeviceOpening OpenCardDeviceFile(const std::string& path) {
    return {nullptr, path + ": the card's driver exists only on Windows"};
}

}  // namespace velscan::platform
