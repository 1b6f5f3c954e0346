#pragma once
// The scan as a panorama: the slow-axis angle runs across (one column per
// mirror turn, as far as the slow axis resolves it), the mirror angle, taken
// modulo a turn, runs down from 0 (horizontal) at the top row. The range
// picture colours each pixel by the nearest distance seen there and carries a
// scale in inches below the panorama; the amplitude picture shows the mean
// amplitude as a grey level.

#include "export/image.hpp"
#include "export/scan_angles.hpp"
#include "export/scan_table.hpp"

namespace velscan::exporter {

inline constexpr int kMaxPictureSide = 3000;

struct PanoramaLayout {
    int width = 1;
    int height = 1;
    double slowMin = 0.0;
    double slowSpan = 0.0;
};

PanoramaLayout ChoosePanorama(const ScanTable& table, const ScanAngles& angles);

Image RangePicture(const ScanTable& table, const ScanAngles& angles, const PanoramaLayout& layout);
Image AmplitudePicture(const ScanTable& table, const ScanAngles& angles, const PanoramaLayout& layout);

}  // namespace velscan::exporter
