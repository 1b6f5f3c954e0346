#include "cardlib/device_controls.hpp"
#include "cardlib/vexa.hpp"

namespace velscan {

namespace {

constexpr std::uint32_t kMaxMotorPower = 255;

// Motor and encoder numbers count from 1; the slot's arrays from 0.
bool IsUnitNumber(std::uint32_t number) { return number == 1 || number == 2; }

}  // namespace

int VexaSetEncoder(std::uint32_t board, std::uint32_t encoder, std::int32_t offset,
                   std::uint32_t countsPerRevolution) {
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    // Zero counts are refused: the angle conversion divides by them.
    if (!IsUnitNumber(encoder) || countsPerRevolution == 0) return 0;
    slot->encoderCounts[encoder - 1] = countsPerRevolution;
    slot->encoderOffset[encoder - 1] = offset;
    return 1;
}

int VexaSetMotorPower(std::uint32_t board, std::uint32_t motor, std::uint32_t power) {
    if (!IsUnitNumber(motor) || power > kMaxMotorPower) return 0;
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    slot->motorPower[motor - 1] = static_cast<std::uint8_t>(power);
    // Both motors share one register, so both stored levels are written.
    return WriteMotorRegister(*slot->device, slot->motorPower[0], slot->motorPower[1]);
}

}  // namespace velscan
