#include "core/Sha256.h"

#include <stdexcept>

// OpenSSL's EVP interface would, on its first digest, read OpenSSL's configuration and set up its
// provider tables: about 2 MB of memory that stays for the life of the program, which the start-up pays
// for the hashes of the address book. The low-level SHA-256 functions are the same implementation without
// that set-up; OpenSSL 3 marks them deprecated in favour of EVP, not for any fault in them.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

namespace nudgerly {

struct Sha256::Context {
    SHA256_CTX state{};
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
    if (SHA256_Init(&context_->state) != 1) {
        throw std::runtime_error("SHA-256 is not available from OpenSSL.");
    }
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t size) {
    if (size > 0 && SHA256_Update(&context_->state, data, size) != 1) {
        throw std::runtime_error("SHA-256 update failed.");
    }
}

Sha256::Digest Sha256::finish() {
    Digest digest{};
    if (SHA256_Final(digest.data(), &context_->state) != 1) {
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
