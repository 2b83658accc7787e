#include "chatdb/PngImage.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace nudgerly::test {
namespace {

void appendBigEndian(std::string& bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

uint32_t crc32(std::string_view bytes) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> entries{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            entries[n] = c;
        }
        return entries;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc = table[(crc ^ static_cast<uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

void appendChunk(std::string& png, std::string_view type, std::string_view data) {
    appendBigEndian(png, static_cast<uint32_t>(data.size()));
    const std::string typed = std::string(type) + std::string(data);
    png += typed;
    appendBigEndian(png, crc32(typed));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string storedZlib(std::string_view raw) {
    std::string stream("\x78\x01", 2);
    constexpr std::size_t largestBlock = 65535;
    std::size_t offset = 0;
    do {
        const std::size_t length = std::min(largestBlock, raw.size() - offset);
        const bool last = offset + length == raw.size();
        stream.push_back(last ? 1 : 0);
        stream.push_back(static_cast<char>(length & 0xFF));
        stream.push_back(static_cast<char>(length >> 8));
        stream.push_back(static_cast<char>(~length & 0xFF));
        stream.push_back(static_cast<char>((~length >> 8) & 0xFF));
        stream.append(raw.substr(offset, length));
        offset += length;
    } while (offset < raw.size());
    uint32_t a = 1;
    uint32_t b = 0;
    for (const char byte : raw) {
        a = (a + static_cast<uint8_t>(byte)) % 65521;
        b = (b + a) % 65521;
    }
    appendBigEndian(stream, (b << 16) | a);
    return stream;
}

uint8_t blend(uint32_t from, uint32_t to, int shift, uint64_t step, uint64_t steps) {
    const uint64_t a = (from >> shift) & 0xFF;
    const uint64_t b = (to >> shift) & 0xFF;
    return static_cast<uint8_t>((a * (steps - step) + b * step) / steps);
}

}  // namespace

std::string pngImage(uint32_t width, uint32_t height, uint32_t from, uint32_t to) {
    std::string raw;
    raw.reserve(static_cast<std::size_t>(height) * (1 + 3 * static_cast<std::size_t>(width)));
    const uint64_t steps = std::max<uint64_t>(1, static_cast<uint64_t>(width) + height - 2);
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        for (uint32_t x = 0; x < width; ++x) {
            for (const int shift : {16, 8, 0}) {
                raw.push_back(static_cast<char>(blend(from, to, shift, x + y, steps)));
            }
        }
    }
    std::string header;
    appendBigEndian(header, width);
    appendBigEndian(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, deflate, adaptive filters, no interlace

    std::string png("\x89PNG\r\n\x1A\n");
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", storedZlib(raw));
    appendChunk(png, "IEND", "");
    return png;
}

}  // namespace nudgerly::test
