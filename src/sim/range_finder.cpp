#include "sim/range_finder.hpp"

#include <limits>
#include <string_view>

namespace velscan::sim {

namespace {
constexpr std::string_view kDataFormat = kDataFormatCommand;
constexpr auto kDataFormatLength = static_cast<std::uint32_t>(kDataFormat.size());
constexpr std::int64_t kNumberLimit = std::numeric_limits<std::int32_t>::max();
}  // namespace

void RangeFinder::ReceiveSerialBytes(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t byte : bytes) Receive(byte);
}

void RangeFinder::Receive(std::uint8_t byte) {
    switch (state_) {
    case State::DataFormat:
        if (byte == static_cast<std::uint8_t>(kDataFormat[matched_])) {
            if (++matched_ == kDataFormatLength) {
                dataFormatSet_ = true;
                state_ = State::Idle;
            }
            return;
        }
        state_ = State::Idle;  // not the command after all: read the byte afresh
        break;
    case State::Number:
        if (byte == '-' && !anyDigit_ && !negative_) {
            negative_ = true;
            return;
        }
        if (byte >= '0' && byte <= '9') {
            anyDigit_ = true;
            value_ = value_ * 10 + (byte - '0');
            if (value_ > kNumberLimit) {
                tooLong_ = true;
                value_ = kNumberLimit;
            }
            return;
        }
        if (byte == static_cast<std::uint8_t>(kNumberCommandEnd)) {
            FinishNumber();
            state_ = State::Idle;
            return;
        }
        state_ = State::Idle;  // a malformed command is dropped
        break;
    case State::Idle:
        break;
    }

    const char command = static_cast<char>(byte);
    if (command == kGreetingCommand[0]) {
        greeted_ = true;
    } else if (command == kDataFormat[0]) {
        state_ = State::DataFormat;
        matched_ = 1;
    } else if (command == kSamplePeriodCommand || command == kMaxRangeCommand) {
        state_ = State::Number;
        numberCommand_ = command;
        negative_ = false;
        anyDigit_ = false;
        tooLong_ = false;
        value_ = 0;
    }
}

void RangeFinder::FinishNumber() {
    if (!anyDigit_ || tooLong_) return;
    const std::int64_t value = negative_ ? -value_ : value_;
    if (numberCommand_ == kSamplePeriodCommand) {
        // A period of zero or below cannot be measured at: the old one stays.
        if (value > 0) samplePeriodUs_ = static_cast<std::uint32_t>(value);
    } else {
        maxRangeInches_ = static_cast<std::int32_t>(value);
    }
}

}  // namespace velscan::sim
