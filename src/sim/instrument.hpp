#pragma once
// The simulated instrument: card, range finder, mirror and scene in one
// object, shared by the simulated card device and the simulated serial port.
// Time comes only from the clock it is given (real or virtual). Nothing runs
// in the background: at each control the card is brought up to the clock's
// time, producing the samples that fell due since the last control, one every
// sample period of the range finder, into the card's buffer of 65,536 samples.
//
// Card behaviour, by control:
//   reset           registers cleared (no mode, motor off), sampling stopped,
//                   buffer and overflow cleared, encoder counts zeroed
//   register write  kept; the calibration table selects calibration mode, the
//                   sampling table sampling mode; register 0x0003's low byte
//                   is motor 1's power (the mirror's speed)
//   enable          step 0x9c402018 then 0x9c402004 starts sampling
//   stop            0x9c402008; closing the device stops sampling too
//   clear           empties the buffer and clears the overflow
//   encoder         word with bit 2 clear zeroes the encoders in its mask
//   block read      the oldest buffered samples, at most as many as asked
//   status          seven words; word 4 non-zero after an overflow
// In calibration mode each sample carries the interpolator calibration value
// in the low 13 bits of its range word (near 800, a little jitter). The value
// the card library takes, the fourth sample delivered, is the one the range
// words of sampling mode are then encoded with. After an overflow every sample
// delivered carries status bit 0 until the buffer is cleared.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "conversion/samples.hpp"
#include "sim/faults.hpp"
#include "sim/mirror.hpp"
#include "sim/noise.hpp"
#include "sim/range_sampler.hpp"
#include "sim/raw_synthesis.hpp"
#include "sim/sample_buffer.hpp"
#include "sim/scene.hpp"
#include "sim/simulated_hardware.hpp"

namespace velscan::sim {

struct InstrumentOptions {
    std::uint64_t seed = kDefaultSeed;
    std::shared_ptr<const Scene> scene;  // null: the built-in room
    FaultSet faults;
    // The lookup table the program converts with; asked once, when sampling
    // mode first produces a sample. Null: the synthetic table.
    std::function<std::shared_ptr<const RawSynthesis>()> synthesis;
    double rangeNoiseInches = kDefaultRangeNoiseInches;
};

// Sees every sample as it is produced, with what the conversion should make of it.
using ProductionObserver = std::function<void(const RawSample&, const SampleTruth&)>;

class Instrument final : public SimulatedHardware {
public:
    Instrument(std::shared_ptr<platform::Clock> clock, InstrumentOptions options);

    std::int32_t CalibrationBase() const { return calibrationBase_; }
    std::int32_t CalibrationValueInUse() const { return calibrationInUse_; }
    bool SamplingActive() const { return sampling_; }
    const Mirror& MirrorModel() const { return mirror_; }
    void SetProductionObserver(ProductionObserver observer) { observer_ = std::move(observer); }

protected:
    void CatchUp(std::int64_t nowNs) override;
    void OnReset() override;
    void OnSamplingStart() override;
    void OnSamplingStop() override;
    void OnClearSampleBuffer() override;
    void OnEncoderControl(std::uint16_t word) override;
    void OnRegisterWritten(std::uint16_t reg, std::uint16_t value, CardMode before) override;
    std::size_t OnBlockRead(std::span<std::byte> output, std::size_t maxRecords) override;
    StatusRecord OnStatus() override;
    void OnRangeFinderChanged() override;
    void OnCardClosed() override;

private:
    const RawSynthesis& Synthesis();
    bool StallReached() const;
    std::uint32_t IndexBits(double turns);
    RawSample CalibrationSample(std::uint64_t index, std::int64_t timeNs, double turns);
    RawSample SamplingSample(const SamplingSetup& setup, std::uint64_t index,
                             std::int64_t timeNs, double turns, SampleTruth& truth);
    void Anchor(std::int64_t nowNs);
    void ZeroEncoders(bool encoder1, bool encoder2, std::int64_t nowNs);
    void ClearBuffer();

    InstrumentOptions options_;
    RangeSampler sampler_;
    Mirror mirror_;
    SampleBuffer buffer_;
    std::shared_ptr<const RawSynthesis> synthesis_;
    ProductionObserver observer_;

    bool sampling_ = false;
    bool overflow_ = false;
    std::int64_t anchorNs_ = 0;        // time the current run of samples counts from
    std::uint64_t anchorIndex_ = 0;    // index of the first sample after the anchor
    std::int64_t periodNs_;
    std::uint64_t produced_ = 0;       // samples that fell due (stored or not)
    std::uint64_t deliveredSampling_ = 0;
    std::uint64_t bufferedSampling_ = 0;
    std::uint32_t calibrationDelivered_ = 0;
    std::int32_t calibrationBase_;
    std::int32_t calibrationInUse_;
    std::int64_t encoderBase1_ = 0;
    std::int64_t encoderBase2_ = 0;
    std::int64_t previousTurn1_ = 0;
    std::int64_t previousTurn2_ = 0;
};

}  // namespace velscan::sim
