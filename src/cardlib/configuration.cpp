#include <memory>
#include <span>
#include <string>

#include "cardlib/device_controls.hpp"
#include "cardlib/vexa.hpp"
#include "conversion/averaging_count.hpp"
#include "conversion/lookup_table.hpp"
#include "conversion/printable_text.hpp"
#include "laserlink/range_finder_commands.hpp"

namespace velscan {

namespace {

constexpr std::uint32_t kMaxMotorPower = 255;
constexpr std::uint32_t kMinSamplePeriodUs = 20;
constexpr std::uint32_t kMaxSamplePeriodUs = 9999999;

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

int VexaLoadLookupFile(std::uint32_t board, const char* fileName) {
    return VexaLoadLookupFile(board, fileName, nullptr);
}

int VexaLoadLookupFile(std::uint32_t board, const char* fileName, LookupReading* reading) {
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr || fileName == nullptr) return 0;
    // The loader fills the program-wide table and leaves its offset in the
    // slot, on success and on failure alike.
    LookupReading read = ReadLookupFile(fileName, slot->sampleRateOffset);
    const int status = read.status != 0 ? 1 : 0;
    if (reading != nullptr) *reading = std::move(read);
    return status;
}

namespace {

// The device of a board whose records come from a capture.
class OfflineDevice final : public platform::CardDevice {
public:
    platform::ControlResult Control(std::uint32_t, std::span<const std::byte>, std::span<std::byte>) override {
        return {};
    }
};

std::string Shown(const std::string& text) { return PrintableText(text); }

}  // namespace

OfflineBoard VexaPrepareOfflineBoard(const OfflineBoardSettings& settings) {
    OfflineBoard prepared;
    if (settings.calibrationValue < kMinCalibrationValue || settings.calibrationValue > kMaxCalibrationValue) {
        prepared.refusal = "the calibration value " + std::to_string(settings.calibrationValue) + " lies outside " +
                           std::to_string(kMinCalibrationValue) + " to " + std::to_string(kMaxCalibrationValue) +
                           ": the recording could not have used it";
        return prepared;
    }
    std::uint32_t index = 0;
    while (index < kBoardCount && BoardTable()[index].inUse != 0) ++index;
    if (index == kBoardCount) {
        prepared.refusal = "no board is free";
        return prepared;
    }
    BoardSlot& slot = BoardTable()[index];
    slot.inUse = 1;
    slot.device = std::make_unique<OfflineDevice>();
    slot.calibrationValue = settings.calibrationValue;
    prepared.board = index;
    for (std::uint32_t encoder = 1; encoder <= 2; ++encoder) {
        if (VexaSetEncoder(index, encoder, 0, settings.encoderCounts[encoder - 1]) == 0) {
            prepared.refusal = "encoder " + std::to_string(encoder) + " cannot have 0 counts per turn";
            return prepared;
        }
    }
    const LookupReading lookup = ReadLookupFile(settings.lookupFile, slot.sampleRateOffset);
    if (lookup.status == 0) {
        prepared.refusal = "the lookup file " + Shown(settings.lookupFile) + " cannot be used: " +
                           (lookup.failure.empty() ? std::string("it could not be read") : lookup.failure);
        return prepared;
    }
    prepared.olderLookupVersion = lookup.olderVersion;
    // Without a range finder the settings are stored, and no command is sent.
    (void)VexaSetSampleAndRange(index, nullptr, settings.maxRange, settings.samplePeriod);
    if (slot.samplePeriod != settings.samplePeriod || slot.maxRange != settings.maxRange)
        prepared.refusal = "the sample period " + std::to_string(settings.samplePeriod) + " is one the card refuses";
    return prepared;
}

int VexaSetSampleAndRange(std::uint32_t board, SerialLink* link, std::int32_t maxRange,
                          std::uint32_t samplePeriod) {
    BoardSlot* slot = CheckedBoard(board);
    if (slot == nullptr) return 0;
    if (samplePeriod < kMinSamplePeriodUs || samplePeriod > kMaxSamplePeriodUs) return 0;
    slot->maxRange = maxRange;
    slot->samplePeriod = samplePeriod;
    // The period is at most 9999999 here, so it fits a signed 32-bit value.
    slot->averagingCount = ComputeAveragingCount(static_cast<std::int32_t>(samplePeriod), maxRange);

    // The range finder is configured through the link given, else the board's
    // own; the settings above stay stored even when there is neither.
    SerialLink* chosen = link != nullptr ? link : slot->link;
    if (chosen == nullptr) return 0;
    SendRangeFinderConfiguration(*chosen, static_cast<long>(samplePeriod), maxRange);
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
