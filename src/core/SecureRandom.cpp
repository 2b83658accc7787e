#include "core/SecureRandom.h"

#include <climits>
#include <stdexcept>

#include <openssl/rand.h>

namespace nudgerly {

std::vector<uint8_t> secureRandomBytes(std::size_t count) {
    std::vector<uint8_t> bytes(count);
    if (count > static_cast<std::size_t>(INT_MAX) ||
        (count > 0 && RAND_bytes(bytes.data(), static_cast<int>(count)) != 1)) {
        throw std::runtime_error("The system could not produce secure random bytes.");
    }
    return bytes;
}

std::string randomUuid() {
    std::vector<uint8_t> bytes = secureRandomBytes(16);
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4: random
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the RFC 4122 variant
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += hex[bytes[i] >> 4];
        text += hex[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace nudgerly
