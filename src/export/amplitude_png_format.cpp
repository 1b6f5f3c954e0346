// The amplitude picture as PNG (export/range_picture.hpp).
#include "export/export_format.hpp"
#include "export/image.hpp"

namespace velscan::exporter {
namespace {

void WriteAmplitudePng(std::FILE* out, const ExportJob& job) {
    WritePng(out, AmplitudePicture(job.Table(), job.Angles(), job.Panorama(), job.Source(), job.PictureDetails()));
}

}  // namespace

extern const ExportFormat kAmplitudePngFormat;
const ExportFormat kAmplitudePngFormat{
    "--amplitude-png", ".png",
    "  --amplitude-png PATH  the same panorama in grey levels of amplitude\n",
    WriteAmplitudePng};

}  // namespace velscan::exporter
