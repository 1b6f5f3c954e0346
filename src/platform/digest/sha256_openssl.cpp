// SHA-256 through libcrypto's EVP interface.

#include <openssl/evp.h>

#include <array>
#include <stdexcept>

#include "platform/digest/hex_digits.hpp"
#include "platform/digest/sha256.hpp"

namespace velscan::platform {

struct Sha256::State {
    struct Free {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> context{EVP_MD_CTX_new()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!state_->context || EVP_DigestInit_ex(state_->context.get(), EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("SHA-256 could not be started");
    }
}

Sha256::~Sha256() = default;

void Sha256::Update(std::span<const std::byte> bytes) {
    if (bytes.empty()) return;
    if (EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) != 1) {
        throw std::runtime_error("SHA-256 could not hash its input");
    }
}

std::string Sha256::FinishHex() {
    std::array<unsigned char, 32> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(state_->context.get(), digest.data(), &length) != 1 ||
        length != digest.size()) {
        throw std::runtime_error("SHA-256 could not be finished");
    }
    return LowerHex(digest);
}

}  // namespace velscan::platform
