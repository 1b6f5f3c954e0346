// The card's kernel driver exists only on Windows: here no path names the card,
// so the open always fails (a simulated or replayed card stands in instead).
#include "platform/card_device.hpp"

namespace velscan::platform {

std::unique_ptr<CardDevice> OpenCardDeviceFile(const std::string&) { return nullptr; }

}  // namespace velscan::platform
