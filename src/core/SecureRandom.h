#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nudgerly {

// Bytes from the operating system's cryptographic generator. Throws std::runtime_error when the
// generator fails, rather than ever handing out predictable bytes.
std::vector<uint8_t> secureRandomBytes(std::size_t count);

// A random (version 4) UUID in its 36-character text form, lower-case:
// "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx". Throws like secureRandomBytes.
std::string randomUuid();

}  // namespace nudgerly
