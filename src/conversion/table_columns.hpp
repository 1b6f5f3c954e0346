#pragma once
// The measurement table's header line, as velscan writes it and velscan-export
// reads it: eight column titles, each followed by a tab (the spellings are the
// table's own).

#include <array>
#include <string_view>

namespace velscan {

inline constexpr std::array<std::string_view, 8> kTableColumns = {
    "Distance(inches)", "Raw Range(bits)", "Amplitude", "Temp(F)",
    "Angle1(radins)",   "Angle2(radins",   "Index1",    "Index2"};

inline constexpr char kTableHeader[] =
    "Distance(inches)\t"
    "Raw Range(bits)\t"
    "Amplitude\t"
    "Temp(F)\t"
    "Angle1(radins)\t"
    "Angle2(radins\t"
    "Index1\t"
    "Index2\t";

// The header line is the column titles, each with its tab.
constexpr bool HeaderHoldsTheColumns() {
    std::string_view rest = kTableHeader;
    for (const std::string_view column : kTableColumns) {
        if (rest.size() <= column.size() || rest.substr(0, column.size()) != column ||
            rest[column.size()] != '\t')
            return false;
        rest.remove_prefix(column.size() + 1);
    }
    return rest.empty();
}
static_assert(HeaderHoldsTheColumns());

}  // namespace velscan
