#include "chatdb/ImageHeaders.h"

namespace nudgerly::test {
namespace {

void appendBigEndian(std::string& bytes, uint32_t value, int size) {
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

}  // namespace

std::string pngHeader(uint32_t width, uint32_t height) {
    std::string bytes("\x89PNG\r\n\x1A\n");
    appendBigEndian(bytes, 13, 4);
    bytes += "IHDR";
    appendBigEndian(bytes, width, 4);
    appendBigEndian(bytes, height, 4);
    bytes += std::string("\x08\x06\x00\x00\x00", 5);  // depth, colour type, compression, filter, interlace
    bytes += std::string(4, '\0');                    // the CRC, which nobody here checks
    return bytes;
}

std::string jpegHeader(uint16_t width, uint16_t height) {
    std::string bytes("\xFF\xD8");
    bytes += std::string("\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 18);
    bytes += std::string(
        "\xFF\xE1\x00\x0A"
        "Exif\xFF\xC0\x00\x11",
        12);
    bytes += "\xFF\xFF";  // fill bytes before the next marker
    bytes += std::string("\xFF\xC0\x00\x11\x08", 5);
    appendBigEndian(bytes, height, 2);
    appendBigEndian(bytes, width, 2);
    bytes += std::string("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10);
    return bytes;
}

}  // namespace nudgerly::test
