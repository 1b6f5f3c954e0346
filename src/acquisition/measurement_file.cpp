#include "acquisition/measurement_file.hpp"

#include <array>
#include <utility>

namespace velscan {

std::span<Measurement, kMeasurementCapacity> MeasurementArray() {
    // Zero at program start and never released.
    static std::array<Measurement, kMeasurementCapacity> measurements{};
    return measurements;
}

WriteResult WriteMeasurementFile(std::int32_t lines, OutputStream stream, TableFigures* figures) {
    return WriteMeasurementRows(lines, MeasurementArray(), std::move(stream), figures);
}

}  // namespace velscan
