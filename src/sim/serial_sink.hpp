#pragma once
// Where the simulated serial port hands the bytes the program writes.

#include <cstdint>
#include <span>

namespace velscan::sim {

class SerialSink {
public:
    virtual ~SerialSink() = default;
    // Bytes the program wrote to the port, as they arrive at the instrument.
    virtual void ReceiveSerialBytes(std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace velscan::sim
