#pragma once
// The run's measurements: the process-wide array the line loop fills, and
// the table written from it.

#include <cstdint>
#include <span>

#include "conversion/samples.hpp"
#include "scanfile/measurement_table.hpp"

namespace velscan {

// The process-wide measurement array of 1,000,000 records, zero at start.
std::span<Measurement, kMeasurementCapacity> MeasurementArray();

// Writes the first `lines` * 5000 records of the process-wide measurement array.
WriteResult WriteMeasurementFile(std::int32_t lines, OutputStream stream, TableFigures* figures = nullptr);

}  // namespace velscan
