#include "sim/simulated_hardware.hpp"

#include "cardlib/protocol.hpp"
#include "conversion/samples.hpp"

namespace velscan::sim {

namespace {

constexpr platform::ControlResult kDone{true, 0};
constexpr platform::ControlResult kRejected{false, 0};

}  // namespace

SimulatedHardware::SimulatedHardware(std::shared_ptr<platform::Clock> clock, FaultSet faults)
    : clock_(std::move(clock)), faults_(std::move(faults)) {}

bool SimulatedHardware::Rejects(std::uint32_t code) {
    const std::uint64_t issue = ++issues_[code];
    for (const ControlFault& fault : faults_.controlFaults) {
        if (fault.code == code && issue >= fault.fromIssue) return true;
    }
    return false;
}

platform::ControlResult SimulatedHardware::Control(std::uint32_t code,
                                                   std::span<const std::byte> input,
                                                   std::span<std::byte> output) {
    if (Rejects(code)) return kRejected;
    CatchUp(NowNs());

    switch (code) {
    case kControlBoardReset:
        registers_.Clear();
        enableArmed_ = false;
        switchValue_ = 0;
        setupWord_ = 0;
        OnReset();
        return kDone;
    case kControlSamplingEnableStep1:
        enableArmed_ = true;
        return kDone;
    case kControlSamplingEnableStep2:
        // The second step starts sampling only after the first.
        if (enableArmed_) {
            enableArmed_ = false;
            OnSamplingStart();
        }
        return kDone;
    case kControlSamplingStop:
        enableArmed_ = false;
        OnSamplingStop();
        return kDone;
    case kControlClearSampleBuffer:
        OnClearSampleBuffer();
        return kDone;
    case kControlEncoder:
        if (input.size() < kEncoderRecordBytes) return kRejected;
        OnEncoderControl(DecodeEncoderWord(input));
        return kDone;
    case kControlRegisterWrite: {
        if (input.size() < kRegisterWriteBytes) return kRejected;
        const CardMode before = registers_.Mode();
        const RegisterWrite write = DecodeRegisterWrite(input);
        registers_.Write(write.reg, write.value);
        OnRegisterWritten(write.reg, write.value, before);
        return kDone;
    }
    case kControlSetupWord:
        if (input.size() < kSingleWordBytes) return kRejected;
        setupWord_ = DecodeSingleWord(input);
        return kDone;
    case kControlSwitch:
        if (input.size() < kSingleWordBytes) return kRejected;
        switchValue_ = DecodeSingleWord(input);
        return kDone;
    case kControlBlockRead: {
        const std::size_t maxRecords = output.size() / kRawSampleBytes;
        const std::size_t count = OnBlockRead(output, maxRecords);
        return {true, static_cast<std::uint32_t>(count * kRawSampleBytes)};
    }
    case kControlStatus: {
        if (output.size() < kStatusRecordBytes) return kRejected;
        EncodeStatusRecord(output, OnStatus());
        return {true, static_cast<std::uint32_t>(kStatusRecordBytes)};
    }
    default:
        return kRejected;  // the driver knows no other request
    }
}

bool SimulatedHardware::OpenCard() {
    if (cardOpen_) return false;
    cardOpen_ = true;
    return true;
}

void SimulatedHardware::CloseCard() {
    if (!cardOpen_) return;
    CatchUp(NowNs());
    OnCardClosed();
    enableArmed_ = false;
    cardOpen_ = false;
}

void SimulatedHardware::ReceiveSerialBytes(std::span<const std::uint8_t> bytes) {
    CatchUp(NowNs());
    rangeFinder_.ReceiveSerialBytes(bytes);
    OnRangeFinderChanged();
}

}  // namespace velscan::sim
