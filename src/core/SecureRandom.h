#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nudgerly {

// Bytes from the operating system's cryptographic generator. Throws std::runtime_error when the
// generator fails, rather than ever handing out predictable bytes.
std::vector<uint8_t> secureRandomBytes(std::size_t count);

}  // namespace nudgerly
