#pragma once
// The scan as a panorama (export/panorama_layout.hpp). The range
// picture colours each pixel by the nearest distance seen there and carries a
// scale in inches below the panorama; the amplitude picture shows the mean
// amplitude as a grey level.

#include "export/image.hpp"
#include "export/panorama_layout.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

namespace velscan::exporter {

Image RangePicture(const ScanTable& table, const ScanAngles& angles, const PanoramaLayout& layout);
Image AmplitudePicture(const ScanTable& table, const ScanAngles& angles, const PanoramaLayout& layout);

}  // namespace velscan::exporter
