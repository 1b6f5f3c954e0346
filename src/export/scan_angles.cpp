#include "export/scan_angles.hpp"

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

}  // namespace velscan::exporter
