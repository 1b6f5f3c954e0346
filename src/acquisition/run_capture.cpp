#include "acquisition/run_capture.hpp"

#include <utility>

#include "acquisition/run_facts.hpp"

namespace velscan {

RunCapture::RunCapture(std::string path, std::function<std::string()> finish,
                       std::function<std::optional<CaptureFigures>()> figures,
                       std::function<std::string()> start)
    : path_(std::move(path)),
      finish_(std::move(finish)),
      figures_(std::move(figures)),
      start_(std::move(start)),
      present_(static_cast<bool>(finish_)) {}

bool RunCapture::Close() {
    if (present_ && !std::exchange(closed_, true)) problem_ = finish_();
    return problem_.empty();
}

std::optional<MetadataCapture> RunCapture::Facts() const {
    if (!present_ || !figures_) return std::nullopt;
    const std::optional<CaptureFigures> figures = figures_();
    if (!figures) return std::nullopt;
    return CaptureFacts(path_, *figures);
}

}  // namespace velscan
