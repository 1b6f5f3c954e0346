// This build has no simulated instrument, no replay card and no capture: a plan
// that asks for one of them is refused with a message that names it, so a run
// never falls back to hardware the operator did not ask for. The simulation
// replaces the bodies below.
#include "platform/backend_simulation.hpp"

namespace velscan::platform {

bool SimulationAvailable() { return false; }

bool AttachSimulatedParts(const BackendPlan& plan, Backend& backend, std::string& error) {
    (void)backend;
    if (plan.simulateInstrument) {
        error = "Error: VELSCAN_SIM=1: the simulated instrument is not available in this build.\n";
        return false;
    }
    if (plan.laser == LaserChoice::Simulated) {
        error = "Error: VELSCAN_LASER=sim: the simulated range finder is not available in this "
                "build.\n";
        return false;
    }
    if (plan.card == CardChoice::Simulated) {
        error = "Error: VELSCAN_CARD=sim: the simulated card is not available in this build.\n";
        return false;
    }
    if (plan.card == CardChoice::Replay) {
        error = "Error: VELSCAN_CARD=replay: the replay card is not available in this build.\n";
        return false;
    }
    if (!plan.capturePath.empty()) {
        error = "Error: VELSCAN_CAPTURE: capturing raw records is not available in this build.\n";
        return false;
    }
    return true;
}

}  // namespace velscan::platform
