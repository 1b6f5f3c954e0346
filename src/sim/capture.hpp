#pragma once
// Capture of every raw record a card delivers (VELSCAN_CAPTURE), for any card:
// a decorator around the opened device appends the records of each successful
// block read to the capture file, in the card's own 16-byte format.

#include <memory>

#include "platform/card_device.hpp"
#include "scanfile/capture_file.hpp"

namespace velscan::sim {

// Null when `device` is null.
std::unique_ptr<platform::CardDevice> WrapWithCapture(std::unique_ptr<platform::CardDevice> device,
                                                      std::shared_ptr<CaptureFile> capture);

}  // namespace velscan::sim
