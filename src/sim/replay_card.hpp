#pragma once
// The replay card (VELSCAN_CARD=replay:PATH): plays a capture file back as the
// card. Calibration mode delivers the file's first 20 records, sampling mode
// the rest, in order and each record once, released one every sample period
// of the range finder behind the simulated port (its default 20 us when the
// port is a real one). A clear of the buffer drops nothing from the file: the
// capture holds only records that were delivered. The status record's
// overflow word repeats status bit 0 of the last record delivered, which is
// where the capture kept the card's overflow. When the file is used up the
// card delivers nothing more.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "conversion/samples.hpp"
#include "sim/simulated_hardware.hpp"

namespace velscan::sim {

class ReplayError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The records of a capture file; throws ReplayError when it is no regular
// file of at most kMaxCaptureBytes, cannot be read, or its size is not a
// whole number of records.
std::vector<RawSample> LoadCaptureFile(const std::string& path);

class ReplayCard final : public SimulatedHardware {
public:
    ReplayCard(std::shared_ptr<platform::Clock> clock, std::vector<RawSample> records,
               FaultSet faults = {});

    std::size_t DeliveredCalibration() const { return calibration_.cursor - calibration_.begin; }
    std::size_t DeliveredSampling() const { return sampling_.cursor - sampling_.begin; }
    bool SamplingActive() const { return running_; }

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
    struct Part {
        std::size_t begin = 0;
        std::size_t end = 0;
        std::size_t cursor = 0;    // next record to deliver
        std::size_t released = 0;  // records up to here are in the card's buffer
    };
    Part* ActivePart();
    void Anchor(std::int64_t nowNs);
    std::uint64_t DueSinceAnchor(std::int64_t nowNs) const;

    std::vector<RawSample> records_;
    Part calibration_;
    Part sampling_;
    bool running_ = false;
    bool lastDeliveredFlagged_ = false;
    std::int64_t anchorNs_ = 0;
    std::uint64_t releasedAtAnchor_ = 0;
    std::int64_t periodNs_;
};

}  // namespace velscan::sim
