// The simulated instrument, the replay card and the raw-record capture join
// the backend here; the simulation builds its parts itself.
#include "platform/backend_simulation.hpp"

#include "sim/sim_backend.hpp"

namespace velscan::platform {

bool SimulationAvailable() { return true; }

bool AttachSimulatedParts(const BackendPlan& plan, Backend& backend, std::string& error) {
    return sim::AttachSimulation(plan, backend, error);
}

}  // namespace velscan::platform
