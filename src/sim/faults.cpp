#include "sim/faults.hpp"

#include <algorithm>
#include <limits>
#include <string>

#include "conversion/printable_text.hpp"
#include "sim/unsigned_text.hpp"

namespace velscan::sim {

namespace {

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

void ParseItem(std::string_view item, FaultSet& faults) {
    if (item == "no-laser") {
        faults.noLaser = true;
    } else if (item == "no-card") {
        faults.noCard = true;
    } else if (item == "calibration-silent") {
        faults.calibrationSilent = true;
    } else if (item.starts_with("calibration=")) {
        const auto value = ParseUnsigned(item.substr(12));
        if (!value || *value > 8191) Refuse(item, "the calibration value must be 0..8191");
        faults.calibrationValue = static_cast<std::uint32_t>(*value);
    } else if (item.starts_with("fail=")) {
        std::string_view codeText = item.substr(5);
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
    } else if (item.starts_with("stall@")) {
        const std::uint64_t line = LineNumber(item, item.substr(6));
        faults.stallLine = faults.stallLine ? std::min(*faults.stallLine, line) : line;
    } else if (item.starts_with("overflow@")) {
        faults.overflowLines.push_back(LineNumber(item, item.substr(9)));
    } else if (item.starts_with("invalid@")) {
        faults.invalidLines.push_back(LineNumber(item, item.substr(8)));
    } else {
        Refuse(item,
               "unknown fault (known: no-laser, no-card, calibration=N, calibration-silent, "
               "fail=0xCODE[@K], stall@L, overflow@L, invalid@L)");
    }
}

}  // namespace

bool FaultSet::Any() const {
    return noLaser || noCard || calibrationValue || calibrationSilent || !controlFaults.empty() ||
           stallLine || !overflowLines.empty() || !invalidLines.empty();
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

}  // namespace velscan::sim
