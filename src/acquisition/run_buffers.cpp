#include "acquisition/run_buffers.hpp"

#include <array>

namespace velscan {

std::span<RawSample, kSamplesPerLine> RawLineBuffer() {
    static std::array<RawSample, kSamplesPerLine> buffer{};
    return buffer;
}

ScanLineFigures& RunLineFigures() {
    static ScanLineFigures figures;
    return figures;
}

}  // namespace velscan
