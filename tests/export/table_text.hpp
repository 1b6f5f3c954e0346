#pragma once
// Tables written by hand in velscan's format, for the export's tests.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

#include "conversion/table_columns.hpp"

namespace velscan::exporter {

// One row: distance, amplitude and the two angles as the table would hold
// them (raw range, temperature and index flags fixed).
inline std::string TableRow(const std::string& distance, const std::string& angle1,
                            const std::string& angle2, const std::string& amplitude = "79.0") {
    return distance + "\t2207\t" + amplitude + "\t69.8\t" + angle1 + "\t" + angle2 + "\t0\t0\t";
}

// As long as the value needs: the largest double takes 309 digits.
inline std::string Fixed(double value, int decimals) {
    std::string text(static_cast<std::size_t>(std::snprintf(nullptr, 0, "%.*f", decimals, value)) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
    text.pop_back();
    return text;
}

// `rows` rows over a small patch of the room: the mirror steps 0.0015 rad a
// row, the slow axis 0.0314 rad every 40 rows; distance(row) gives the
// distance column.
inline std::string PatchTable(std::size_t rows, const std::function<std::string(std::size_t)>& distance) {
    std::string text = kTableHeader;
    for (std::size_t row = 0; row < rows; ++row)
        text.append("\n").append(TableRow(distance(row), Fixed(static_cast<double>(row) * 0.0015, 4),
                                          Fixed(static_cast<double>(row / 40) * 0.0314, 4)));
    return text;
}

}  // namespace velscan::exporter
