#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace nudgerly {

// Streaming SHA-256 over OpenSSL. Hex output is lowercase.
class Sha256 {
public:
    using Digest = std::array<uint8_t, 32>;

    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(const void* data, std::size_t size);
    void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
    Digest finish();

    static Digest digest(std::string_view bytes);
    static std::string hexDigest(std::string_view bytes);
    static std::string hex(const Digest& digest);

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

}  // namespace nudgerly
