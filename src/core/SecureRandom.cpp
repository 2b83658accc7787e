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

}  // namespace nudgerly
