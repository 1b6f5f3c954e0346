// What every build shares: the one-shot hash and the hash of a file.

#include <array>
#include <cstdio>
#include <memory>

#include "platform/digest/sha256.hpp"

namespace velscan::platform {

std::string Sha256Hex(std::span<const std::byte> bytes) {
    Sha256 hash;
    hash.Update(bytes);
    return hash.FinishHex();
}

std::optional<std::string> Sha256HexOfFile(const std::string& path) {
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    Sha256 hash;
    std::array<std::byte, 1 << 16> block;
    std::size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
        hash.Update(std::span(block.data(), got));
    }
    if (std::ferror(file.get())) return std::nullopt;
    return hash.FinishHex();
}

}  // namespace velscan::platform
