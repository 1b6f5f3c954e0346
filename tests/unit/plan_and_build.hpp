#pragma once
// What the entry point does with the environment, for tests: PlanBackend for
// this host, then BuildBackend.

#include <optional>
#include <string>

#include "acquisition/backend_chooser.hpp"

namespace velscan::testing_support {

inline std::optional<ChosenBackend> PlanAndBuild(const EnvironmentReader& getenv,
                                                 std::string& error) {
    std::optional<BackendPlan> plan = PlanBackend(getenv, kThisHost, error);
    if (!plan) return std::nullopt;
    return BuildBackend(*plan, error);
}

}  // namespace velscan::testing_support
