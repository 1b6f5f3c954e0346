// Builds without libpng: the pictures cannot be written, the point cloud can.
#include "export/image.hpp"

namespace velscan::exporter {

void WritePng(files::OutputFile&, const Image&) {
    throw OutputError("Error: PNG output is not available in this build");
}

}  // namespace velscan::exporter
