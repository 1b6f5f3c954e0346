#include "platform/files/path_name.hpp"

#include <exception>

namespace velscan::files {

namespace {

// The UTF-8 bytes of a path, as a narrow string.
std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

#ifdef _WIN32
using Native = std::filesystem::path::string_type;

// A wide name with each lone surrogate (which Windows lets a name hold, and
// UTF-8 cannot) replaced by U+FFFD, so the rest of the name is kept.
Native WithoutLoneSurrogates(Native units) {
    const auto isHigh = [](unsigned unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
    const auto isLow = [](unsigned unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto unit = static_cast<unsigned>(units[i]);
        if (isHigh(unit) && i + 1 < units.size() && isLow(static_cast<unsigned>(units[i + 1]))) {
            ++i;
        } else if (isHigh(unit) || isLow(unit)) {
            units[i] = static_cast<Native::value_type>(0xFFFD);
        }
    }
    return units;
}
#endif

}  // namespace

std::filesystem::path PathOf(std::string_view name) {
    const std::u8string utf8(name.begin(), name.end());
    try {
        return std::filesystem::path(utf8);
    } catch (const std::exception&) {
        // Wide paths only: the bytes are no UTF-8 text.
        return std::filesystem::path(std::string(name));
    }
}

std::string NameOf(const std::filesystem::path& path) {
    try {
        return Utf8Of(path);
    } catch (const std::exception&) {
#ifdef _WIN32
        return Utf8Of(std::filesystem::path(WithoutLoneSurrogates(path.native())));
#else
        return path.string();
#endif
    }
}

}  // namespace velscan::files
