#include "sim/range_finder.hpp"

#include <limits>

namespace velscan::sim {

namespace {
constexpr char kDataFormat[] = "DA1T2X3";
constexpr std::uint32_t kDataFormatLength = sizeof(kDataFormat) - 1;
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
        if (byte == '\n') {
            FinishNumber();
            state_ = State::Idle;
            return;
        }
        state_ = State::Idle;  // a malformed command is dropped
        break;
    case State::Idle:
        break;
    }

    switch (byte) {
    case 'I':
        greeted_ = true;
        break;
    case 'D':
        state_ = State::DataFormat;
        matched_ = 1;
        break;
    case 'S':
    case 'F':
        state_ = State::Number;
        numberCommand_ = static_cast<char>(byte);
        negative_ = false;
        anyDigit_ = false;
        tooLong_ = false;
        value_ = 0;
        break;
    default:
        break;
    }
}

void RangeFinder::FinishNumber() {
    if (!anyDigit_ || tooLong_) return;
    const std::int64_t value = negative_ ? -value_ : value_;
    if (numberCommand_ == 'S') {
        // A period of zero or below cannot be measured at: the old one stays.
        if (value > 0) samplePeriodUs_ = static_cast<std::uint32_t>(value);
    } else {
        maxRangeInches_ = static_cast<std::int32_t>(value);
    }
}

}  // namespace velscan::sim
