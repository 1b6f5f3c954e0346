#include "export/output_target.hpp"

#include <random>
#include <system_error>

namespace velscan::exporter {
namespace {

// A short name in the target's directory, so it fits wherever the target's
// own name does (a suffix on a name near the length limit would not).
std::filesystem::path TemporaryBeside(const std::filesystem::path& target) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            target.parent_path() /
            (".velscan-export." + std::to_string(random() % 1000000u) + ".tmp");
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::symlink_status(candidate, error))) return candidate;
    }
    throw OutputError("Error: no free temporary name beside " + target.string());
}

}  // namespace

OutputTarget::OutputTarget(const std::string& target) : target_(target), finalPath_(target) {
    std::error_code error;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(finalPath_, error)))
        finalPath_ = std::filesystem::weakly_canonical(finalPath_, error);
    const auto status = std::filesystem::status(finalPath_, error);
    inPlace_ = std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
    writePath_ = inPlace_ ? finalPath_ : TemporaryBeside(finalPath_);
    file_.reset(std::fopen(writePath_.string().c_str(), "wb"));
    if (!file_) throw OutputError("Error: Can't create the file " + target_);
}

OutputTarget::~OutputTarget() {
    if (committed_ || inPlace_) return;
    file_.reset();
    std::error_code ignored;
    std::filesystem::remove(writePath_, ignored);
}

void OutputTarget::Write(const void* data, std::size_t size) {
    if (size != 0 && std::fwrite(data, 1, size, file_.get()) != size)
        throw OutputError("Error: writing " + target_ + " failed");
}

void OutputTarget::Commit() {
    const bool closed = std::fclose(file_.release()) == 0;
    if (!closed) throw OutputError("Error: writing " + target_ + " failed");
    if (inPlace_) {
        committed_ = true;
        return;
    }
    std::error_code error;
    // An existing file keeps its permission bits.
    const auto status = std::filesystem::status(finalPath_, error);
    if (!error && std::filesystem::is_regular_file(status))
        std::filesystem::permissions(writePath_, status.permissions(), error);
    std::filesystem::rename(writePath_, finalPath_, error);
    if (error) throw OutputError("Error: Can't create the file " + target_ + ": " + error.message());
    committed_ = true;
}

}  // namespace velscan::exporter
