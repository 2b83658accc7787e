#pragma once

#include <cstdint>
#include <string>

// The first bytes of image files, enough to declare a pixel size, for tests and generated homes.
namespace nudgerly::test {

// Signature and IHDR chunk of a PNG image.
std::string pngHeader(uint32_t width, uint32_t height);

// Start of a baseline JPEG: JFIF and EXIF segments (the EXIF one holding bytes that look like a frame
// marker), fill bytes, then the frame header with the size.
std::string jpegHeader(uint16_t width, uint16_t height);

}  // namespace nudgerly::test
