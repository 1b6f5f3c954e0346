#pragma once
// The scan as a panorama (export/panorama_layout.hpp) in the frame of
// export/picture_frame.hpp, titled with the table's name. The range picture
// colours each pixel by the nearest distance seen there and carries a scale
// in inches (a distance beyond a 32-bit float's range is left out of the
// scale and coloured as the end it lies beyond); the amplitude picture shows the mean amplitude as a grey level
// and carries a grey scale. Both name their swatches for pixels without a
// value: "no range" (black, range picture only) and "no data" (hatched
// columns that no sample reached).

#include <string>

#include "export/image.hpp"
#include "export/panorama_layout.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

namespace velscan::exporter {

// `details`: the scan's facts from its metadata file for the title, or empty.
Image RangePicture(const ScanTable& table, const ScanAngles& angles, const PanoramaLayout& layout,
                   const std::string& name, const std::string& details = {});
Image AmplitudePicture(const ScanTable& table, const ScanAngles& angles, const PanoramaLayout& layout,
                       const std::string& name, const std::string& details = {});

// The height of both pictures' legend band.
int PictureLegendHeight();

}  // namespace velscan::exporter
