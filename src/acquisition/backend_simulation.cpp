// The simulated instrument, the replay card and the raw-record capture join
// the backend here.
#include "acquisition/backend_simulation.hpp"

#include <exception>
#include <stdexcept>
#include <memory>

#include "conversion/printable_text.hpp"
#include "sim/capture.hpp"
#include "sim/faults.hpp"
#include "sim/instrument.hpp"
#include "sim/lookup_source.hpp"
#include "sim/noise.hpp"
#include "sim/range_finder.hpp"
#include "sim/replay_card.hpp"
#include "sim/scene.hpp"
#include "sim/sim_devices.hpp"
#include "sim/unsigned_text.hpp"

namespace velscan {

using sim::SceneError;

namespace {

class SettingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::shared_ptr<const sim::Scene> SceneOf(const BackendPlan& plan) {
    if (plan.simScene.empty()) return std::make_shared<const sim::Scene>(sim::BuiltInScene());
    try {
        return std::make_shared<const sim::Scene>(sim::LoadSceneFile(plan.simScene));
    } catch (const SceneError& error) {
        throw SettingError(std::string("VELSCAN_SIM_SCENE: ") + error.what());
    }
}

// A replay paces its records at the range finder's sample period, so with no
// port named the range finder is simulated and the period known.
bool SimulatesLaser(const BackendPlan& plan) {
    const bool laserUnnamed =
        plan.laser == LaserChoice::Missing || plan.laser == LaserChoice::NumberedPort;
    return plan.laser == LaserChoice::Simulated ||
           (plan.card == CardChoice::Replay && laserUnnamed);
}

// The parts of `plan` that can inject faults, as sim::FaultPart bits.
unsigned FaultPartsOf(const BackendPlan& plan) {
    unsigned parts = 0;
    if (plan.card == CardChoice::Simulated) parts |= sim::kSimulatedCard | sim::kCardOpener;
    if (plan.card == CardChoice::Replay) parts |= sim::kReplayCard | sim::kCardOpener;
    if (SimulatesLaser(plan)) parts |= sim::kSimulatedPortOpener;
    return parts;
}

// What stands in a fault's place in this plan: the card, or the range
// finder's port for a fault of the port.
std::string ChosenPartFor(const sim::FaultKind& kind, const BackendPlan& plan) {
    if ((kind.honouredBy & sim::kSimulatedPortOpener) != 0) return "a real serial port";
    switch (plan.card) {
        case CardChoice::Simulated: return "the simulated card";
        case CardChoice::Replay: return "the replay card";
        case CardChoice::Device:
        case CardChoice::Missing: break;
    }
    return "a real card";
}

void Attach(const BackendPlan& plan, ChosenBackend& chosen) {
    platform::Backend& backend = chosen.seam;
    const bool simulatedCard = plan.card == CardChoice::Simulated;
    const bool replayedCard = plan.card == CardChoice::Replay;
    const bool simulatedLaser = SimulatesLaser(plan);

    const sim::FaultSet faults = sim::ParseFaults(plan.simFaults);

    std::shared_ptr<sim::SimulatedHardware> card;
    if (simulatedCard) {
        const auto seed = ParseSeed(plan.simSeed);
        if (!seed)
            throw SettingError(
                "VELSCAN_SIM_SEED must be a decimal number or 0x and hex digits, not \"" +
                PrintableText(plan.simSeed) + "\"");
        sim::InstrumentOptions options;
        options.seed = *seed;
        options.scene = SceneOf(plan);
        options.faults = faults;
        options.synthesis = sim::WorkingDirectorySynthesis;
        card = std::make_shared<sim::Instrument>(backend.clock, std::move(options));
    } else if (replayedCard) {
        card = std::make_shared<sim::ReplayCard>(backend.clock, sim::LoadCaptureFile(plan.cardPath),
                                                 faults);
    }
    if (card) {
        backend.openCardDevice = [card, noCard = faults.noCard]() -> platform::CardDeviceOpening {
            if (noCard) return {nullptr, "simulated fault no-card"};
            auto device = sim::OpenSimulatedCard(card);
            if (!device) return {nullptr, "the simulated card is already open"};
            return device;
        };
    }

    if (simulatedLaser) {
        // Without a simulated card the range finder still takes its commands.
        std::shared_ptr<sim::SerialSink> sink = card;
        if (!sink) sink = std::make_shared<sim::RangeFinder>();
        auto gate = std::make_shared<sim::PortGate>();
        backend.openSerialPort = [sink, gate, noLaser = faults.noLaser](
                                     std::int32_t) -> platform::SerialPortOpening {
            if (noLaser) return {nullptr, "simulated fault no-laser"};
            auto port = sim::OpenSimulatedPort(sink, gate);
            if (!port) return {nullptr, "the simulated port is already open"};
            return port;
        };
    }

    if (!plan.capturePath.empty()) {
        auto capture = std::make_shared<CaptureFile>(
            plan.capturePath, plan.captureByDefault ? CaptureFile::Opening::OnBegin : CaptureFile::Opening::AtOnce);
        backend.openCardDevice = [open = std::move(backend.openCardDevice), capture] {
            platform::CardDeviceOpening opening = open();
            if (!opening.device) return opening;
            return platform::CardDeviceOpening(
                sim::WrapWithCapture(std::move(opening.device), capture));
        };
        chosen.finishCapture = [capture] { return capture->Finish(); };
        chosen.captureFigures = [capture] { return capture->Figures(); };
        chosen.startCapture = [capture] { return capture->Begin(); };
    }
}

}  // namespace

std::optional<std::uint64_t> ParseSeed(std::string_view text) {
    if (text.empty()) return sim::kDefaultSeed;
    return sim::ParseUnsigned(text);
}

bool CheckFaults(const BackendPlan& plan, std::string& error) {
    try {
        const sim::FaultSet faults = sim::ParseFaults(plan.simFaults);
        if (const sim::FaultSet::Item* item = sim::FirstUnhonoured(faults, FaultPartsOf(plan))) {
            error = "Error: VELSCAN_SIM_FAULTS: '" + item->text + "': " +
                    ChosenPartFor(*item->kind, plan) + " cannot inject this fault; " +
                    sim::FaultPartNames(item->kind->honouredBy) + " can.\n";
            return false;
        }
        return true;
    } catch (const sim::FaultError& problem) {
        error = std::string("Error: ") + problem.what() + "\n";
        return false;
    }
}

bool AttachSimulatedParts(const BackendPlan& plan, ChosenBackend& chosen, std::string& error) {
    try {
        Attach(plan, chosen);
        return true;
    } catch (const std::exception& problem) {
        error = std::string("Error: ") + problem.what() + "\n";
        return false;
    }
}

}  // namespace velscan
