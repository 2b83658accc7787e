#include "core/Sha256.h"

#include <stdexcept>

#include <openssl/evp.h>

namespace nudgerly {

struct Sha256::Context {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
    if (!context_->ctx || EVP_DigestInit_ex(context_->ctx, EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("SHA-256 is not available from OpenSSL.");
    }
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t size) {
    if (size > 0 && EVP_DigestUpdate(context_->ctx, data, size) != 1) {
        throw std::runtime_error("SHA-256 update failed.");
    }
}

Sha256::Digest Sha256::finish() {
    Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_->ctx, digest.data(), &length) != 1 || length != digest.size()) {
        throw std::runtime_error("SHA-256 finish failed.");
    }
    return digest;
}

Sha256::Digest Sha256::digest(std::string_view bytes) {
    Sha256 hasher;
    hasher.update(bytes);
    return hasher.finish();
}

std::string Sha256::hexDigest(std::string_view bytes) {
    return hex(digest(bytes));
}

std::string Sha256::hex(const Digest& digest) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(digest.size() * 2);
    for (const uint8_t byte : digest) {
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out;
}

}  // namespace nudgerly
