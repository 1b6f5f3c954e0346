#pragma once
// Faults the simulated instrument and the replay card inject on purpose, so
// every failure path of a run can be driven (VELSCAN_SIM_FAULTS, a
// comma-separated list). FaultTable() lists every fault once: its name, how
// its value is read, and which parts of the simulation honour it. A line is
// kSamplesPerLine delivered sampling samples, counted from 0 over the whole run.

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/samples.hpp"

namespace velscan::sim {

struct ControlFault {
    std::uint32_t code;
    std::uint64_t fromIssue;  // 1 = the first issue fails
};

// The parts of the simulation that can inject faults, as bits.
enum FaultPart : unsigned {
    kSimulatedCard = 1u << 0,   // the simulated instrument's card
    kReplayCard = 1u << 1,      // the card that plays back a capture
    kSimulatedPortOpener = 1u << 2,  // the opener of the simulated range finder's port
    kCardOpener = 1u << 3,      // the opener of a simulated or replayed card
};

struct FaultSet;

// One kind of fault.
struct FaultKind {
    std::string_view name;     // as the operator writes it: "stall@L"
    std::string_view key;      // the whole item, or the text before its value: "stall@"
    bool takesValue;           // the item is key followed by a value
    // Reads the value (empty without one) into `faults`; throws FaultError.
    void (*parse)(std::string_view item, std::string_view value, FaultSet& faults);
    unsigned honouredBy;       // FaultPart bits
    std::string_view effect;   // one line for the README's list
};

// Every fault, in the order the README lists them.
std::span<const FaultKind> FaultTable();

// "no-laser, no-card, calibration=N, ...", from the table.
std::string KnownFaultNames();

// The parts named in `parts` (FaultPart bits), joined with " or ":
// "the simulated card or the replay card".
std::string FaultPartNames(unsigned parts);

struct FaultSet {
    bool noLaser = false;
    bool noCard = false;
    std::optional<std::uint32_t> calibrationValue;
    bool calibrationSilent = false;
    std::vector<ControlFault> controlFaults;
    std::optional<std::uint64_t> stallLine;  // the earliest, when given more than once
    std::vector<std::uint64_t> overflowLines;
    std::vector<std::uint64_t> invalidLines;
    // Each item of the list with its kind, in the list's order.
    struct Item {
        std::string text;
        const FaultKind* kind;
    };
    std::vector<Item> items;

    bool Any() const { return !items.empty(); }
    bool InvalidLine(std::uint64_t line) const;
    bool OverflowLine(std::uint64_t line) const;
    // True once `samples` sampling samples reach the stalled line.
    bool StallReached(std::uint64_t samples) const {
        return stallLine && samples >= *stallLine * kSamplesPerLine;
    }
};

class FaultError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses the list; throws FaultError naming the item it cannot take.
FaultSet ParseFaults(std::string_view list);

// The first item of `faults` that none of `parts` (FaultPart bits) honours;
// null when every item is honoured.
const FaultSet::Item* FirstUnhonoured(const FaultSet& faults, unsigned parts);

}  // namespace velscan::sim
