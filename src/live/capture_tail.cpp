#include "live/capture_tail.hpp"

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/files/path_name.hpp"
#include "scanfile/capture_file.hpp"

namespace velscan::live {

bool CaptureTail::ReadNew(std::vector<RawSample>& records, std::string& problem) {
    const std::filesystem::path path = files::PathOf(path_);
    std::error_code why;
    const std::uintmax_t size = std::filesystem::file_size(path, why);
    if (why) {
        if (bytesRead_ == 0 && why == std::errc::no_such_file_or_directory) return true;
        problem = "cannot be read: " + why.message();
        return false;
    }
    if (size < bytesRead_) {
        problem = "became shorter than what was read of it: it was replaced or emptied";
        return false;
    }
    if (size > kMaxCaptureBytes) {
        problem = "is larger than a capture can be";
        return false;
    }
    const std::uintmax_t whole = size - (size - bytesRead_) % kRawSampleBytes;
    if (whole == bytesRead_) return true;
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(bytesRead_));
    const std::size_t count = static_cast<std::size_t>((whole - bytesRead_) / kRawSampleBytes);
    const std::size_t before = records.size();
    records.resize(before + count);
    in.read(reinterpret_cast<char*>(records.data() + before), static_cast<std::streamsize>(count * kRawSampleBytes));
    if (!in) {
        records.resize(before);
        problem = "cannot be read";
        return false;
    }
    bytesRead_ = whole;
    return true;
}

}  // namespace velscan::live
