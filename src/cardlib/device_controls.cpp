#include "cardlib/device_controls.hpp"

#include <algorithm>
#include <limits>
#include <span>

#include "cardlib/vexa.hpp"
#include "platform/backend.hpp"

namespace velscan {

namespace {

bool Issue(platform::CardDevice& device, std::uint32_t code, std::span<const std::byte> input) {
    return device.Control(code, input, {}).succeeded;
}

const RegisterWrite* RegisterTableOf(int mode) {
    switch (mode) {
        case kCalibrationMode: return kCalibrationRegisterTable.data();
        case kSamplingMode: return kSamplingRegisterTable.data();
        default: return nullptr;
    }
}

}  // namespace

bool IssuePlainControl(platform::CardDevice& device, std::uint32_t code) {
    return Issue(device, code, {});
}

bool IssueSetupWord(platform::CardDevice& device) {
    return Issue(device, kControlSetupWord, EncodeSetupWord());
}

bool IssueSwitch(platform::CardDevice& device, std::int32_t flag) {
    return Issue(device, kControlSwitch, EncodeSwitchWord(flag != 0));
}

int WriteRegisterSequence(platform::CardDevice& device, int mode) {
    const RegisterWrite* record = RegisterTableOf(mode);
    if (record == nullptr) return 0;
    for (; record->reg != kRegisterTableEnd; ++record) {
        if (!Issue(device, kControlRegisterWrite, EncodeRegisterWrite(*record)))
            return 0;
        platform::Pause(kRegisterWritePauseMs);
    }
    return 1;
}

int WriteMotorRegister(platform::CardDevice& device, std::uint32_t motor1Power,
                       std::uint32_t motor2Power) {
    const RegisterWrite motors{kMotorRegister, EncodeMotorPowers(motor1Power, motor2Power)};
    return Issue(device, kControlRegisterWrite, EncodeRegisterWrite(motors)) ? 1 : 0;
}

std::int32_t ReadSampleBlock(platform::CardDevice& device, std::span<RawSample> destination) {
    // The driver takes a 32-bit output length, so n x 16 must fit in it.
    constexpr std::size_t kMaxBlock =
        std::numeric_limits<std::uint32_t>::max() / kRawSampleBytes;
    const std::size_t n = destination.size();
    if (n < 1 || n > kMaxBlock) return -1;

    const std::span<std::byte> bytes = std::as_writable_bytes(destination);
    std::ranges::fill(bytes, std::byte{0xA5});

    const platform::ControlResult result = device.Control(kControlBlockRead, {}, bytes);
    if (!result.succeeded) return -1;
    // Whole records only, and never more than the buffer holds, whatever the
    // driver claims to have returned.
    const std::uint32_t whole = result.bytesReturned / kRawSampleBytes;
    return static_cast<std::int32_t>(std::min<std::size_t>(whole, n));
}

int VexaClearSampleBuffer(std::uint32_t board) {
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    return IssuePlainControl(*slot->device, kControlClearSampleBuffer) ? 1 : 0;
}

int VexaClearEncoder(std::uint32_t board, std::uint32_t encoderMask, std::int32_t clearFlag) {
    if (encoderMask < 1 || encoderMask > 3) return 0;
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    const bool clear = clearFlag != 0;
    return Issue(*slot->device, kControlEncoder, EncodeEncoderWord(encoderMask, clear)) ? 1 : 0;
}

int VexaGetStatus(std::uint32_t board, std::int32_t& overflowFlag) {
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    // One buffer serves as input and output; it goes out zero-filled.
    std::array<std::byte, kStatusRecordBytes> record{};
    if (!slot->device->Control(kControlStatus, record, record).succeeded) return 0;
    overflowFlag = StatusOverflowed(record) ? 1 : 0;
    return 1;
}

}  // namespace velscan
