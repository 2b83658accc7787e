#pragma once

#include <cstdint>
#include <string>

namespace nudgerly::test {

// A complete PNG file of the given size (RGB, uncompressed deflate blocks): a diagonal blend from
// `from` to `to` (0xRRGGBB), so that a generated link preview shows a picture rather than a blank.
std::string pngImage(uint32_t width, uint32_t height, uint32_t from, uint32_t to);

}  // namespace nudgerly::test
