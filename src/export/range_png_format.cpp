// The range picture as PNG (export/range_picture.hpp).
#include "export/export_format.hpp"
#include "export/image.hpp"

namespace velscan::exporter {
namespace {

void WriteRangePng(std::FILE* out, const ExportJob& job) {
    job.RowsBeyondPointRange();  // reported before the picture puts them at its scale's ends
    WritePng(out, RangePicture(job.Table(), job.Angles(), job.Panorama(), job.Source(), job.PictureDetails()));
}

}  // namespace

extern const ExportFormat kRangePngFormat;
const ExportFormat kRangePngFormat{
    "--png", ".png",
    "  --png PATH            range picture: slow-axis angle across, mirror angle down,\n"
    "                        colour by distance (scale in inches), black without range\n",
    WriteRangePng};

}  // namespace velscan::exporter
