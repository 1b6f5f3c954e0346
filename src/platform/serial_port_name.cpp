#include "platform/serial_port_name.hpp"

namespace velscan::platform {

std::string SerialPortDeviceName(std::int32_t portNumber) {
    const std::string plain = "COM" + std::to_string(portNumber);
    if (portNumber >= 1 && portNumber <= 9) return plain;
    return "\\\\.\\" + plain;
}

}  // namespace velscan::platform
