#include "export/scan_angles.hpp"

#include <cmath>

#include "export/angle_recovery.hpp"

namespace velscan::exporter {

ScanAngles ExportAngles(const ScanTable& table, bool rawAngles, double mirrorOffset,
                        double slowOffset) {
    ScanAngles angles;
    if (rawAngles) {
        angles.mirror = table.angle1;
        angles.slowAxis = table.angle2;
    } else {
        RecoveredAngles recovered = RecoverAngles(table.angle1, table.angle2);
        angles.mirror = std::move(recovered.mirror);
        angles.slowAxis = std::move(recovered.slowAxis);
        angles.runs = recovered.runs;
    }
    for (double& a : angles.mirror) a -= mirrorOffset;
    for (double& a : angles.slowAxis) a -= slowOffset;
    return angles;
}

void RequireFiniteAngles(const ScanAngles& angles, const std::string& tableName) {
    for (std::size_t row = 0; row < angles.mirror.size(); ++row) {
        const bool mirror = std::isfinite(angles.mirror[row]);
        if (mirror && std::isfinite(angles.slowAxis[row])) continue;
        // The header is line 1.
        throw TableError(tableName + ":" + std::to_string(row + 2) + ": the " +
                         (mirror ? "slow-axis" : "mirror") +
                         " angle less its offset is not a finite number");
    }
}

std::size_t RowsBeyondPointRange(const ScanTable& table) {
    std::size_t rows = 0;
    for (const double d : table.distance) rows += BeyondPointRange(d) ? 1 : 0;
    return rows;
}

std::string BeyondPointRangeReport(std::size_t rows) {
    return std::to_string(rows) + (rows == 1 ? " row has" : " rows have") +
           " a distance beyond 3.4e38 inches, more than a 32-bit float holds: left out of the point "
           "formats (PLY, PTX, PCD) and the viewer, shown at an end of the range picture's scale";
}

}  // namespace velscan::exporter
