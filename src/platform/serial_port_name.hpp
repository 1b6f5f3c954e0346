#pragma once
// The Windows device name of a numbered serial port.

#include <cstdint>
#include <string>

namespace velscan::platform {

// Ports 1 to 9 go by their plain name "COM<n>". Any other number is formed in
// the device namespace, "\\.\COM<n>": the plain name "COM10" and above names no
// device, so those ports cannot be opened without the prefix.
std::string SerialPortDeviceName(std::int32_t portNumber);

}  // namespace velscan::platform
