#include "sim/sim_backend.hpp"

#include <exception>
#include <memory>

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

namespace velscan::sim {

namespace {

class SettingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::shared_ptr<const Scene> SceneOf(const platform::BackendPlan& plan) {
    if (plan.simScene.empty()) return std::make_shared<const Scene>(BuiltInScene());
    try {
        return std::make_shared<const Scene>(LoadSceneFile(plan.simScene));
    } catch (const SceneError& error) {
        throw SettingError(std::string("VELSCAN_SIM_SCENE: ") + error.what());
    }
}

void Attach(const platform::BackendPlan& plan, platform::Backend& backend) {
    const bool simulatedCard = plan.card == platform::CardChoice::Simulated;
    const bool replayedCard = plan.card == platform::CardChoice::Replay;
    // A replay paces its records at the range finder's sample period, so with
    // no port named the range finder is simulated and the period known.
    const bool laserUnnamed = plan.laser == platform::LaserChoice::Missing ||
                              plan.laser == platform::LaserChoice::NumberedPort;
    const bool simulatedLaser =
        plan.laser == platform::LaserChoice::Simulated || (replayedCard && laserUnnamed);

    FaultSet faults;
    if (simulatedLaser || simulatedCard || replayedCard) faults = ParseFaults(plan.simFaults);

    std::shared_ptr<SimulatedHardware> card;
    if (simulatedCard) {
        const auto seed = ParseSeed(plan.simSeed);
        if (!seed)
            throw SettingError("VELSCAN_SIM_SEED must be a decimal number or 0x and hex digits, not \"" +
                               plan.simSeed + "\"");
        InstrumentOptions options;
        options.seed = *seed;
        options.scene = SceneOf(plan);
        options.faults = faults;
        options.synthesis = WorkingDirectorySynthesis;
        card = std::make_shared<Instrument>(backend.clock, std::move(options));
    } else if (replayedCard) {
        card = std::make_shared<ReplayCard>(backend.clock, LoadCaptureFile(plan.cardPath), faults);
    }
    if (card) {
        backend.openCardDevice = [card, noCard = faults.noCard]() -> std::unique_ptr<platform::CardDevice> {
            if (noCard) return nullptr;
            return OpenSimulatedCard(card);
        };
    }

    if (simulatedLaser) {
        // Without a simulated card the range finder still takes its commands.
        std::shared_ptr<SerialSink> sink = card;
        if (!sink) sink = std::make_shared<RangeFinder>();
        auto gate = std::make_shared<PortGate>();
        backend.openSerialPort = [sink, gate, noLaser = faults.noLaser](
                                     std::int32_t) -> std::unique_ptr<platform::SerialPort> {
            if (noLaser) return nullptr;
            return OpenSimulatedPort(sink, gate);
        };
        backend.laserHint.clear();
    }

    if (!plan.capturePath.empty()) {
        auto capture = std::make_shared<CaptureFile>(plan.capturePath);
        backend.openCardDevice = [open = std::move(backend.openCardDevice), capture] {
            return WrapWithCapture(open(), capture);
        };
        backend.finishCapture = [capture] { return capture->Finish(); };
    }
}

}  // namespace

std::optional<std::uint64_t> ParseSeed(std::string_view text) {
    if (text.empty()) return kDefaultSeed;
    return ParseUnsigned(text);
}

bool AttachSimulation(const platform::BackendPlan& plan, platform::Backend& backend,
                      std::string& error) {
    try {
        Attach(plan, backend);
        return true;
    } catch (const std::exception& problem) {
        error = std::string("Error: ") + problem.what() + "\n";
        return false;
    }
}

}  // namespace velscan::sim
