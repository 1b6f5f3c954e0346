// Builds without libpng: the pictures cannot be written, the point cloud can.
#include "export/image.hpp"
#include "export/export_outputs.hpp"

namespace velscan::exporter {

void WritePng(std::FILE*, const Image&) {
    throw OutputError("Error: PNG output is not available in this build");
}

}  // namespace velscan::exporter
