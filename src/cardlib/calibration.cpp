#include <algorithm>
#include <array>
#include <span>

#include "cardlib/device_controls.hpp"
#include "cardlib/vexa.hpp"
#include "platform/backend.hpp"

namespace velscan {

namespace {

// Empty block reads tolerated over the whole collection, each followed by a pause.
constexpr int kMaxEmptyReads = 50;
constexpr std::uint32_t kEmptyReadPauseMs = 100;

constexpr std::uint32_t kAfterStopPauseMs = 100;
constexpr std::uint32_t kSettlePauseMs = 500;

// Stop, 100 ms, set-up word, register table of `mode`: the start both
// preparations share. Results are not looked at; only the calibration's final
// check shows whether the card responded.
void StopAndLoadRegisterTable(platform::CardDevice& device, int mode) {
    IssuePlainControl(device, kControlSamplingStop);
    platform::Pause(kAfterStopPauseMs);
    IssueSetupWord(device);
    WriteRegisterSequence(device, mode);
    platform::Pause(kSettlePauseMs);
}

}  // namespace

int VexaSetSwitch(std::uint32_t board, std::int32_t flag) {
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    return IssueSwitch(*slot->device, flag) ? 1 : 0;
}

int VexaCalibrate(std::uint32_t board) {
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    platform::CardDevice& device = *slot->device;

    StopAndLoadRegisterTable(device, kCalibrationMode);
    VexaClearSampleBuffer(board);
    platform::Pause(kSettlePauseMs);
    IssuePlainControl(device, kControlSamplingEnableStep1);
    IssuePlainControl(device, kControlSamplingEnableStep2);

    // Each read asks for exactly the samples still missing, so the collection
    // never receives more than it holds.
    std::array<RawSample, kCalibrationRecords> collection{};
    auto remaining = static_cast<std::int32_t>(kCalibrationRecords);
    std::int32_t collected = 0;
    int emptyReads = 0;
    while (remaining != 0) {
        const std::int32_t count = ReadSampleBlock(
            device, std::span(collection).subspan(static_cast<std::size_t>(collected),
                                                  static_cast<std::size_t>(remaining)));
        if (count < 0) return 0;
        remaining -= count;
        if (count == 0) {
            platform::Pause(kEmptyReadPauseMs);
            if (++emptyReads > kMaxEmptyReads) return 0;
            continue;
        }
        collected += count;
    }
    IssuePlainControl(device, kControlSamplingStop);

    const std::int32_t value = CalibrationValueOf(collection);
    slot->calibrationValue = value;
    return value >= kMinCalibrationValue && value <= kMaxCalibrationValue ? 1 : 0;
}

std::int32_t CalibrationValueOf(std::span<const RawSample, kCalibrationRecords> records) {
    // The low 13 bits, unsigned: no sign extension for the calibration value.
    return static_cast<std::int32_t>(FineBits(records[kCalibrationRecordUsed].rangeWord));
}

int VexaSamplingModeInit(std::uint32_t board) {
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    // No result is looked at: the card is left stopped with the sampling table
    // and an empty buffer, and later operations show whether it responded.
    VexaClearSampleBuffer(board);
    StopAndLoadRegisterTable(*slot->device, kSamplingMode);
    VexaClearSampleBuffer(board);
    platform::Pause(kSettlePauseMs);
    return 1;
}

}  // namespace velscan
