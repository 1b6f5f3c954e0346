#pragma once
// The simulated range finder's command interpreter. It understands the
// program's four commands: "I" (greeting), "DA1T2X3" (data format), "S<n>\n"
// (sample period in microseconds) and "F<n>\n" (maximum range in inches).
// Anything else is ignored, as a real instrument ignores line noise; a
// command cut short by another byte is dropped and that byte read afresh.

#include <cstdint>
#include <span>

#include "laserlink/range_finder_protocol.hpp"
#include "sim/serial_sink.hpp"

namespace velscan::sim {


class RangeFinder : public SerialSink {
public:
    void ReceiveSerialBytes(std::span<const std::uint8_t> bytes) override;

    bool Greeted() const { return greeted_; }
    bool DataFormatSet() const { return dataFormatSet_; }
    std::uint32_t SamplePeriodUs() const { return samplePeriodUs_; }
    std::int32_t MaxRangeInches() const { return maxRangeInches_; }

private:
    enum class State { Idle, DataFormat, Number };
    void Receive(std::uint8_t byte);
    void FinishNumber();

    State state_ = State::Idle;
    std::uint32_t matched_ = 0;   // characters of "DA1T2X3" matched so far
    char numberCommand_ = 0;      // 'S' or 'F'
    bool negative_ = false;
    bool anyDigit_ = false;
    bool tooLong_ = false;
    std::int64_t value_ = 0;

    bool greeted_ = false;
    bool dataFormatSet_ = false;
    // Before it is configured: the program's own defaults.
    std::uint32_t samplePeriodUs_ = static_cast<std::uint32_t>(kDefaultSamplePeriodUs);
    std::int32_t maxRangeInches_ = kDefaultMaxRangeInches;
};

}  // namespace velscan::sim
