#pragma once
// Faults the simulated instrument injects on purpose, so every failure path of
// a run can be driven (VELSCAN_SIM_FAULTS, a comma-separated list):
//   no-laser             the range finder's port cannot be opened
//   no-card              the card's device cannot be opened
//   calibration=N        every calibration sample carries the value N (0..8191)
//   calibration-silent   the card delivers no sample in calibration mode
//   fail=0xCODE[@K]      the driver rejects control CODE from its K-th issue on
//                        (counted from 1; default 1)
//   stall@L              the card stops delivering once lines 0..L-1 are delivered
//   overflow@L           the card's buffer overflows as line L begins
//   invalid@L            every sample of line L has no range (bit 31)
// A line is 5000 delivered sampling samples, counted from 0 over the whole run.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace velscan::sim {

inline constexpr std::uint64_t kSamplesPerFaultLine = 5000;

struct ControlFault {
    std::uint32_t code;
    std::uint64_t fromIssue;  // 1 = the first issue fails
};

struct FaultSet {
    bool noLaser = false;
    bool noCard = false;
    std::optional<std::uint32_t> calibrationValue;
    bool calibrationSilent = false;
    std::vector<ControlFault> controlFaults;
    std::optional<std::uint64_t> stallLine;  // the earliest, when given more than once
    std::vector<std::uint64_t> overflowLines;
    std::vector<std::uint64_t> invalidLines;

    bool Any() const;
    bool InvalidLine(std::uint64_t line) const;
    bool OverflowLine(std::uint64_t line) const;
};

class FaultError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses the list; throws FaultError naming the item it cannot take.
FaultSet ParseFaults(std::string_view list);

}  // namespace velscan::sim
