#include "acquisition/known_variables.hpp"

#include <algorithm>

#include "conversion/printable_text.hpp"

namespace velscan {

namespace {

constexpr std::string_view kPrefix = "VELSCAN_";

std::string KnownList() {
    std::string list;
    for (const std::string_view name : kKnownVariables) {
        if (!list.empty()) list += ", ";
        list += name;
    }
    return list;
}

}  // namespace

std::string UnknownVariableWarnings(const std::vector<std::string>& names) {
    std::string warnings;
    for (const std::string& name : names) {
        if (!name.starts_with(kPrefix)) continue;
        if (std::find(kKnownVariables.begin(), kKnownVariables.end(), name) !=
            kKnownVariables.end())
            continue;
        warnings += "Warning: " + PrintableText(name) +
                    " is not a variable velscan knows and is ignored; it knows " + KnownList() +
                    ".\n";
    }
    return warnings;
}

}  // namespace velscan
