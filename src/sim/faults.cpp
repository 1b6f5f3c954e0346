#include "sim/faults.hpp"

#include <algorithm>
#include <array>
#include <limits>

#include "conversion/printable_text.hpp"
#include "sim/unsigned_text.hpp"

namespace velscan::sim {

namespace {

constexpr std::uint64_t kMaxCalibrationValue = kFineMask;  // what the fine field holds

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

[[noreturn]] void Refuse(std::string_view item, const std::string& why) {
    throw FaultError("VELSCAN_SIM_FAULTS: '" + PrintableText(item) + "': " + why);
}

std::uint64_t LineNumber(std::string_view item, std::string_view text) {
    const auto value = ParseUnsigned(text);
    if (!value || text.starts_with("0x") || text.starts_with("0X"))
        Refuse(item, "the line must be a decimal number from 0");
    return *value;
}

void NoLaser(std::string_view, std::string_view, FaultSet& faults) { faults.noLaser = true; }

void NoCard(std::string_view, std::string_view, FaultSet& faults) { faults.noCard = true; }

void CalibrationValue(std::string_view item, std::string_view text, FaultSet& faults) {
    const auto value = ParseUnsigned(text);
    if (!value || *value > kMaxCalibrationValue)
        Refuse(item, "the calibration value must be 0.." + std::to_string(kMaxCalibrationValue));
    faults.calibrationValue = static_cast<std::uint32_t>(*value);
}

void CalibrationSilent(std::string_view, std::string_view, FaultSet& faults) {
    faults.calibrationSilent = true;
}

void Fail(std::string_view item, std::string_view codeText, FaultSet& faults) {
    std::uint64_t fromIssue = 1;
    if (const std::size_t at = codeText.find('@'); at != std::string_view::npos) {
        const auto issue = ParseUnsigned(codeText.substr(at + 1));
        if (!issue || *issue == 0) Refuse(item, "the issue after @ counts from 1");
        fromIssue = *issue;
        codeText = codeText.substr(0, at);
    }
    const auto code = ParseUnsigned(codeText);
    if (!code || *code > std::numeric_limits<std::uint32_t>::max())
        Refuse(item, "expected a control code such as 0x9c402048");
    faults.controlFaults.push_back({static_cast<std::uint32_t>(*code), fromIssue});
}

void Stall(std::string_view item, std::string_view text, FaultSet& faults) {
    const std::uint64_t line = LineNumber(item, text);
    faults.stallLine = faults.stallLine ? std::min(*faults.stallLine, line) : line;
}

void Overflow(std::string_view item, std::string_view text, FaultSet& faults) {
    faults.overflowLines.push_back(LineNumber(item, text));
}

void Invalid(std::string_view item, std::string_view text, FaultSet& faults) {
    faults.invalidLines.push_back(LineNumber(item, text));
}

constexpr unsigned kEitherCard = kSimulatedCard | kReplayCard;

constexpr std::array kFaults{
    FaultKind{"no-laser", "no-laser", false, NoLaser, kSimulatedPortOpener,
              "the range finder's port does not open"},
    FaultKind{"no-card", "no-card", false, NoCard, kCardOpener,
              "the card's device does not open"},
    FaultKind{"calibration=N", "calibration=", true, CalibrationValue, kSimulatedCard,
              "calibration samples carry the value N"},
    FaultKind{"calibration-silent", "calibration-silent", false, CalibrationSilent,
              kSimulatedCard, "no samples while calibrating"},
    FaultKind{"fail=0xCODE[@K]", "fail=", true, Fail, kEitherCard,
              "the driver rejects that control code from its K-th issue on (default the first)"},
    FaultKind{"stall@L", "stall@", true, Stall, kSimulatedCard,
              "the card stops delivering during line L"},
    FaultKind{"overflow@L", "overflow@", true, Overflow, kSimulatedCard,
              "the card's buffer overflows during line L"},
    FaultKind{"invalid@L", "invalid@", true, Invalid, kSimulatedCard,
              "the samples of line L have no range (bit 31)"},
};

const FaultKind* KindOf(std::string_view item) {
    for (const FaultKind& kind : kFaults) {
        if (kind.takesValue ? item.starts_with(kind.key) : item == kind.key) return &kind;
    }
    return nullptr;
}

void ParseItem(std::string_view item, FaultSet& faults) {
    const FaultKind* kind = KindOf(item);
    if (kind == nullptr) Refuse(item, "unknown fault (known: " + KnownFaultNames() + ")");
    kind->parse(item, kind->takesValue ? item.substr(kind->key.size()) : std::string_view(),
                faults);
    faults.items.push_back({std::string(item), kind});
}

}  // namespace

std::span<const FaultKind> FaultTable() { return kFaults; }

std::string KnownFaultNames() {
    std::string names;
    for (const FaultKind& kind : kFaults) {
        if (!names.empty()) names += ", ";
        names += kind.name;
    }
    return names;
}

std::string FaultPartNames(unsigned parts) {
    std::string names;
    const auto add = [&names](const char* name) {
        if (!names.empty()) names += " or ";
        names += name;
    };
    if ((parts & kSimulatedCard) != 0) add("the simulated card");
    if ((parts & kReplayCard) != 0) add("the replay card");
    if ((parts & kCardOpener) != 0) add("a simulated or replayed card");
    if ((parts & kSimulatedPortOpener) != 0) add("the simulated range finder");
    return names;
}

bool FaultSet::InvalidLine(std::uint64_t line) const {
    return std::find(invalidLines.begin(), invalidLines.end(), line) != invalidLines.end();
}

bool FaultSet::OverflowLine(std::uint64_t line) const {
    return std::find(overflowLines.begin(), overflowLines.end(), line) != overflowLines.end();
}

FaultSet ParseFaults(std::string_view list) {
    FaultSet faults;
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view item = Trim(list.substr(0, comma));
        if (!item.empty()) ParseItem(item, faults);
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return faults;
}

const FaultSet::Item* FirstUnhonoured(const FaultSet& faults, unsigned parts) {
    for (const FaultSet::Item& item : faults.items) {
        if ((item.kind->honouredBy & parts) == 0) return &item;
    }
    return nullptr;
}

}  // namespace velscan::sim
