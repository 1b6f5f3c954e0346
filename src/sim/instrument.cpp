#include "sim/instrument.hpp"

#include <cstring>

#include "conversion/averaging_count.hpp"
#include "sim/lookup_source.hpp"

namespace velscan::sim {

namespace {

constexpr std::int32_t kNominalCalibration = 800;
constexpr std::uint32_t kCalibrationBaseSpread = 5;
constexpr std::uint32_t kCalibrationJitter = 2;

}  // namespace

Instrument::Instrument(std::shared_ptr<platform::Clock> clock, InstrumentOptions options)
    : SimulatedHardware(std::move(clock), options.faults),
      options_(std::move(options)),
      sampler_(options_.scene ? options_.scene : std::make_shared<const Scene>(BuiltInScene()),
               options_.seed, options_.rangeNoiseInches),
      periodNs_(static_cast<std::int64_t>(Laser().SamplePeriodUs()) * 1000) {
    const Noise& noise = sampler_.Randomness();
    calibrationBase_ =
        kNominalCalibration + noise.Centered(NoiseStream::CalibrationBase, 0, kCalibrationBaseSpread);
    calibrationInUse_ = calibrationBase_;
}

const RawSynthesis& Instrument::Synthesis() {
    if (!synthesis_ && options_.synthesis) synthesis_ = options_.synthesis();
    if (!synthesis_) synthesis_ = BuiltInSynthesis();
    return *synthesis_;
}

bool Instrument::StallReached() const {
    return Faults().StallReached(deliveredSampling_ + bufferedSampling_);
}

std::uint32_t Instrument::IndexBits(double turns) {
    const std::int64_t turn1 =
        TurnNumber(Encoder1Absolute(turns) - encoderBase1_, kEncoder1CountsPerTurn);
    const std::int64_t turn2 =
        TurnNumber(Encoder2Absolute(turns) - encoderBase2_, kEncoder2CountsPerTurn);
    std::uint32_t status = 0;
    if (turn1 != previousTurn1_) status |= kStatusIndex1Bit;
    if (turn2 != previousTurn2_) status |= kStatusIndex2Bit;
    previousTurn1_ = turn1;
    previousTurn2_ = turn2;
    return status;
}

RawSample Instrument::CalibrationSample(std::uint64_t index, std::int64_t timeNs, double turns) {
    const auto& forced = Faults().calibrationValue;
    const std::int32_t value =
        forced ? static_cast<std::int32_t>(*forced)
               : calibrationBase_ + sampler_.Randomness().Centered(NoiseStream::CalibrationJitter,
                                                                   index, kCalibrationJitter);
    RawSample sample{};
    sample.statusWord =
        EncodeStatusWord(IndexBits(turns), sampler_.TemperatureByteAt(timeNs), 0, 0);
    sample.encoder1Count = static_cast<std::uint32_t>(Encoder1Absolute(turns) - encoderBase1_);
    sample.encoder2Count = static_cast<std::uint32_t>(Encoder2Absolute(turns) - encoderBase2_);
    sample.rangeWord = FineBits(static_cast<std::uint32_t>(value));
    return sample;
}

RawSample Instrument::SamplingSample(const SamplingSetup& setup, std::uint64_t index,
                                     std::int64_t timeNs, double turns, SampleTruth& truth) {
    const RangeReading reading = sampler_.Read(setup, index, timeNs, turns);
    truth = reading.truth;
    RawSample sample{};
    sample.statusWord = EncodeStatusWord(IndexBits(turns), reading.temperature, 0, reading.amplitude);
    sample.encoder1Count = static_cast<std::uint32_t>(Encoder1Absolute(turns) - encoderBase1_);
    sample.encoder2Count = static_cast<std::uint32_t>(Encoder2Absolute(turns) - encoderBase2_);
    sample.rangeWord = reading.rangeWord;
    return sample;
}

void Instrument::CatchUp(std::int64_t nowNs) {
    if (!sampling_ || nowNs < anchorNs_) return;
    const std::uint64_t due =
        anchorIndex_ + static_cast<std::uint64_t>((nowNs - anchorNs_) / periodNs_);
    if (due <= produced_) return;

    const CardMode mode = Registers().Mode();
    const bool silent = mode == CardMode::None ||
                        (mode == CardMode::Calibration && Faults().calibrationSilent);
    if (!silent) {
        SamplingSetup setup{};
        if (mode == CardMode::Sampling) {
            setup.synthesis = &Synthesis();
            setup.averagingCount =
                ComputeAveragingCount(static_cast<std::int32_t>(Laser().SamplePeriodUs()),
                                      Laser().MaxRangeInches());
            setup.calibrationValue = calibrationInUse_;
            setup.maxRangeInches = Laser().MaxRangeInches();
        }
        for (std::uint64_t k = produced_; k < due; ++k) {
            if (buffer_.Full()) {
                overflow_ = true;  // this sample and the rest that fell due are lost
                break;
            }
            const bool sampling = mode == CardMode::Sampling;
            if (sampling && StallReached()) break;
            const std::int64_t timeNs =
                anchorNs_ + static_cast<std::int64_t>(k - anchorIndex_ + 1) * periodNs_;
            const double turns = mirror_.TurnsAt(timeNs);
            SampleTruth truth;
            const RawSample sample = sampling ? SamplingSample(setup, k, timeNs, turns, truth)
                                              : CalibrationSample(k, timeNs, turns);
            buffer_.Push({sample, sampling});
            if (sampling) ++bufferedSampling_;
            if (observer_) observer_(sample, truth);
        }
    }
    produced_ = due;
}

void Instrument::Anchor(std::int64_t nowNs) {
    anchorNs_ = nowNs;
    anchorIndex_ = produced_;
    periodNs_ = static_cast<std::int64_t>(Laser().SamplePeriodUs()) * 1000;
}

void Instrument::ZeroEncoders(bool encoder1, bool encoder2, std::int64_t nowNs) {
    const double turns = mirror_.TurnsAt(nowNs);
    if (encoder1) {
        encoderBase1_ = Encoder1Absolute(turns);
        previousTurn1_ = 0;
    }
    if (encoder2) {
        encoderBase2_ = Encoder2Absolute(turns);
        previousTurn2_ = 0;
    }
}

void Instrument::ClearBuffer() {
    buffer_.Clear();
    bufferedSampling_ = 0;
    overflow_ = false;
}

void Instrument::OnReset() {
    const std::int64_t now = NowNs();
    sampling_ = false;
    ClearBuffer();
    mirror_.SetPower(now, 0);
    ZeroEncoders(true, true, now);
}

void Instrument::OnSamplingStart() {
    const std::int64_t now = NowNs();
    sampling_ = true;
    Anchor(now);
    if (Registers().Mode() == CardMode::Calibration) calibrationDelivered_ = 0;
    // The first sample's index flags compare with the position at the start.
    const double turns = mirror_.TurnsAt(now);
    previousTurn1_ = TurnNumber(Encoder1Absolute(turns) - encoderBase1_, kEncoder1CountsPerTurn);
    previousTurn2_ = TurnNumber(Encoder2Absolute(turns) - encoderBase2_, kEncoder2CountsPerTurn);
}

void Instrument::OnSamplingStop() { sampling_ = false; }

void Instrument::OnCardClosed() { sampling_ = false; }

void Instrument::OnClearSampleBuffer() { ClearBuffer(); }

void Instrument::OnEncoderControl(std::uint16_t word) {
    if ((word & kEncoderKeepCountsBit) != 0) return;  // the clear flag was 0
    ZeroEncoders((word & kEncoder1Bit) != 0, (word & kEncoder2Bit) != 0, NowNs());
}

void Instrument::OnRegisterWritten(std::uint16_t reg, std::uint16_t value, CardMode) {
    if (reg == kMotorRegister) mirror_.SetPower(NowNs(), Motor1Power(value));
}

std::size_t Instrument::OnBlockRead(std::span<std::byte> output, std::size_t maxRecords) {
    const auto& faults = Faults();
    std::size_t count = 0;
    while (count < maxRecords && !buffer_.Empty()) {
        const BufferedSample& entry = buffer_.Front();
        RawSample sample = entry.sample;
        if (entry.sampling) {
            // No sample past a stall is ever produced (StallReached), so every
            // sampling sample in the buffer may be delivered.
            const std::uint64_t line = deliveredSampling_ / kSamplesPerLine;
            if (deliveredSampling_ % kSamplesPerLine == 0 && faults.OverflowLine(line))
                overflow_ = true;
            if (faults.InvalidLine(line)) sample.rangeWord |= kRangeInvalidBit;
            ++deliveredSampling_;
            --bufferedSampling_;
        } else if (++calibrationDelivered_ == kCalibrationRecordUsed + 1) {
            calibrationInUse_ = static_cast<std::int32_t>(FineBits(sample.rangeWord));
        }
        if (overflow_) sample.statusWord |= kStatusRestartBit;
        std::memcpy(output.data() + count * kRawSampleBytes, &sample, kRawSampleBytes);
        buffer_.Pop();
        ++count;
    }
    return count;
}

StatusRecord Instrument::OnStatus() {
    StatusRecord record{};
    record[kStatusBufferedWord] = static_cast<std::uint32_t>(buffer_.Size());
    record[kStatusSamplingWord] = sampling_ ? 1u : 0u;
    record[kStatusModeWord] = static_cast<std::uint32_t>(Registers().Mode());
    record[kStatusCapacityWord] = static_cast<std::uint32_t>(kSampleBufferCapacity);
    record[kStatusOverflowWord] = overflow_ ? 1u : 0u;
    record[kStatusProducedWord] = static_cast<std::uint32_t>(produced_);
    record[kStatusSwitchWord] = SwitchValue();
    return record;
}

void Instrument::OnRangeFinderChanged() {
    const std::int64_t period = static_cast<std::int64_t>(Laser().SamplePeriodUs()) * 1000;
    if (period == periodNs_) return;
    if (sampling_) {
        // Samples up to now came at the old period; the new one counts from the last of them.
        anchorNs_ += static_cast<std::int64_t>(produced_ - anchorIndex_) * periodNs_;
        anchorIndex_ = produced_;
    }
    periodNs_ = period;
}

}  // namespace velscan::sim
