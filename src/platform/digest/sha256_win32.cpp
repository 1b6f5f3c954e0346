// SHA-256 through the system's Cryptography API: Next Generation (bcrypt).

#include <windows.h>
// bcrypt.h needs the types of windows.h first.
#include <bcrypt.h>

#include <array>
#include <limits>
#include <stdexcept>

#include "platform/digest/hex_digits.hpp"
#include "platform/digest/sha256.hpp"

namespace velscan::platform {

namespace {

void Check(NTSTATUS status, const char* what) {
    if (!BCRYPT_SUCCESS(status)) throw std::runtime_error(what);
}

}  // namespace

struct Sha256::State {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State() {
        if (hash) BCryptDestroyHash(hash);
        if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
    }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    Check(BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0),
          "SHA-256 is not available");
    // No buffer given: the system keeps the hash object itself.
    Check(BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0),
          "SHA-256 could not be started");
}

Sha256::~Sha256() = default;

void Sha256::Update(std::span<const std::byte> bytes) {
    constexpr std::size_t kMostAtOnce = std::numeric_limits<ULONG>::max();
    while (!bytes.empty()) {
        const std::size_t now = bytes.size() < kMostAtOnce ? bytes.size() : kMostAtOnce;
        // The input is only read; the API's parameter lacks the const.
        auto* data = reinterpret_cast<PUCHAR>(const_cast<std::byte*>(bytes.data()));
        Check(BCryptHashData(state_->hash, data, static_cast<ULONG>(now), 0),
              "SHA-256 could not hash its input");
        bytes = bytes.subspan(now);
    }
}

std::string Sha256::FinishHex() {
    std::array<unsigned char, 32> digest{};
    Check(BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0),
          "SHA-256 could not be finished");
    return LowerHex(digest);
}

}  // namespace velscan::platform
