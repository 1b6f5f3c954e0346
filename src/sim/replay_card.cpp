#include "sim/replay_card.hpp"

#include <algorithm>
#include <cstring>

#include "conversion/printable_text.hpp"
#include "scanfile/capture_file.hpp"
#include "sim/sample_buffer.hpp"

namespace velscan::sim {

std::vector<RawSample> LoadCaptureFile(const std::string& path) {
    CaptureReading reading = ReadCaptureFile(path);
    switch (reading.failure) {
        case CaptureReading::Failure::Unreadable:
            throw ReplayError("VELSCAN_CARD=replay: cannot read " + PrintableText(path));
        case CaptureReading::Failure::NotWholeRecords:
            throw ReplayError("VELSCAN_CARD=replay: " + PrintableText(path) + " is not a capture (" +
                              std::to_string(reading.bytes) + " bytes, not a multiple of 16)");
        case CaptureReading::Failure::None: break;
    }
    return std::move(reading.records);
}

ReplayCard::ReplayCard(std::shared_ptr<platform::Clock> clock, std::vector<RawSample> records,
                       FaultSet faults)
    : SimulatedHardware(std::move(clock), std::move(faults)),
      records_(std::move(records)),
      periodNs_(static_cast<std::int64_t>(Laser().SamplePeriodUs()) * 1000) {
    const std::size_t split = std::min(records_.size(), kCalibrationRecords);
    calibration_ = {0, split, 0, 0};
    sampling_ = {split, records_.size(), split, split};
}

ReplayCard::Part* ReplayCard::ActivePart() {
    switch (Registers().Mode()) {
    case CardMode::Calibration: return &calibration_;
    case CardMode::Sampling: return &sampling_;
    case CardMode::None: break;
    }
    return nullptr;
}

std::uint64_t ReplayCard::DueSinceAnchor(std::int64_t nowNs) const {
    if (nowNs <= anchorNs_) return 0;
    return static_cast<std::uint64_t>((nowNs - anchorNs_) / periodNs_);
}

void ReplayCard::Anchor(std::int64_t nowNs) {
    anchorNs_ = nowNs;
    const Part* part = ActivePart();
    releasedAtAnchor_ = part ? part->released : 0;
}

void ReplayCard::CatchUp(std::int64_t nowNs) {
    if (!running_) return;
    Part* part = ActivePart();
    if (part == nullptr) return;
    const std::uint64_t due = releasedAtAnchor_ + DueSinceAnchor(nowNs);
    part->released = static_cast<std::size_t>(
        std::min<std::uint64_t>(part->end, std::max<std::uint64_t>(part->released, due)));
}

void ReplayCard::OnReset() {
    running_ = false;
    OnClearSampleBuffer();
}

void ReplayCard::OnSamplingStart() {
    running_ = true;
    Anchor(NowNs());
}

void ReplayCard::OnSamplingStop() { running_ = false; }

void ReplayCard::OnCardClosed() { running_ = false; }

void ReplayCard::OnClearSampleBuffer() {
    calibration_.released = calibration_.cursor;
    sampling_.released = sampling_.cursor;
    lastDeliveredFlagged_ = false;
    // Records keep falling due on the same grid; the count restarts from the cursor.
    const std::int64_t now = NowNs();
    anchorNs_ += static_cast<std::int64_t>(DueSinceAnchor(now)) * periodNs_;
    const Part* part = ActivePart();
    releasedAtAnchor_ = part ? part->released : 0;
}

void ReplayCard::OnEncoderControl(std::uint16_t) {}

void ReplayCard::OnRegisterWritten(std::uint16_t, std::uint16_t, CardMode before) {
    if (running_ && Registers().Mode() != before) Anchor(NowNs());
}

std::size_t ReplayCard::OnBlockRead(std::span<std::byte> output, std::size_t maxRecords) {
    Part* part = ActivePart();
    if (part == nullptr) return 0;
    const std::size_t count = std::min(maxRecords, part->released - part->cursor);
    if (count == 0) return 0;
    std::memcpy(output.data(), &records_[part->cursor], count * kRawSampleBytes);
    part->cursor += count;
    lastDeliveredFlagged_ = (records_[part->cursor - 1].statusWord & kStatusRestartBit) != 0;
    return count;
}

StatusRecord ReplayCard::OnStatus() {
    const Part* part = ActivePart();
    StatusRecord record{};
    record[kStatusBufferedWord] = part ? static_cast<std::uint32_t>(part->released - part->cursor) : 0;
    record[kStatusSamplingWord] = running_ ? 1u : 0u;
    record[kStatusModeWord] = static_cast<std::uint32_t>(Registers().Mode());
    record[kStatusCapacityWord] = static_cast<std::uint32_t>(kSampleBufferCapacity);
    record[kStatusOverflowWord] = lastDeliveredFlagged_ ? 1u : 0u;
    record[kStatusProducedWord] = part ? static_cast<std::uint32_t>(part->released) : 0;
    record[kStatusSwitchWord] = SwitchValue();
    return record;
}

void ReplayCard::OnRangeFinderChanged() {
    const std::int64_t period = static_cast<std::int64_t>(Laser().SamplePeriodUs()) * 1000;
    if (period == periodNs_) return;
    const std::int64_t now = NowNs();
    const std::uint64_t due = DueSinceAnchor(now);
    anchorNs_ += static_cast<std::int64_t>(due) * periodNs_;
    releasedAtAnchor_ += due;
    periodNs_ = period;
}

}  // namespace velscan::sim
