#pragma once
// SHA-256 through the operating system's own library (libcrypto on Linux,
// CNG on Windows), for the hashes a metadata file records: the table, the
// capture, the lookup file, a replayed capture.

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace velscan::platform {

// A running hash: Update with the bytes in order, then FinishHex once.
// A failure of the system's library throws std::runtime_error.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(std::span<const std::byte> bytes);
    // The 64 lower-case hex digits of the digest; the hash is spent after it.
    std::string FinishHex();

    struct State;

private:
    std::unique_ptr<State> state_;
};

// The digest of a block of bytes, as 64 lower-case hex digits.
std::string Sha256Hex(std::span<const std::byte> bytes);

// The digest of a whole file, read in blocks; nullopt when it cannot be read
// to its end.
std::optional<std::string> Sha256HexOfFile(const std::string& path);

}  // namespace velscan::platform
