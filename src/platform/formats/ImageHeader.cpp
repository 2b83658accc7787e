#include "platform/formats/ImageHeader.h"

namespace nudgerly::ImageHeader {
namespace {

uint32_t bigEndian(std::string_view bytes, std::size_t offset, std::size_t size) {
    uint32_t value = 0;
    for (std::size_t index = 0; index < size; ++index) {
        value = (value << 8) | static_cast<uint8_t>(bytes[offset + index]);
    }
    return value;
}

uint32_t littleEndian(std::string_view bytes, std::size_t offset, std::size_t size) {
    uint32_t value = 0;
    for (std::size_t index = size; index-- > 0;) {
        value = (value << 8) | static_cast<uint8_t>(bytes[offset + index]);
    }
    return value;
}

std::optional<PixelSize> nonEmpty(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0) {
        return std::nullopt;
    }
    return PixelSize{.width = width, .height = height};
}

std::optional<PixelSize> png(std::string_view bytes) {
    // Signature, then the IHDR chunk: length, type, width and height as 31-bit big-endian numbers.
    if (bytes.size() < 24 || bytes.substr(12, 4) != "IHDR") {
        return std::nullopt;
    }
    const uint32_t width = bigEndian(bytes, 16, 4);
    const uint32_t height = bigEndian(bytes, 20, 4);
    if (width > 0x7FFF'FFFF || height > 0x7FFF'FFFF) {
        return std::nullopt;
    }
    return nonEmpty(width, height);
}

std::optional<PixelSize> gif(std::string_view bytes) {
    if (bytes.size() < 10) {
        return std::nullopt;
    }
    return nonEmpty(littleEndian(bytes, 6, 2), littleEndian(bytes, 8, 2));
}

bool isStartOfFrame(uint8_t marker) {
    // SOF0 to SOF15, less DHT (C4), JPG (C8) and DAC (CC), which share the range.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::optional<PixelSize> jpeg(std::string_view bytes) {
    // Segments follow the start-of-image marker, each "FF marker length(2) ..."; the frame header
    // (SOFn) holds precision, height and width. The scan data begins at SOS: no frame by then, no size.
    std::size_t offset = 2;
    for (;;) {
        if (offset >= bytes.size() || static_cast<uint8_t>(bytes[offset]) != 0xFF) {
            return std::nullopt;
        }
        while (offset < bytes.size() && static_cast<uint8_t>(bytes[offset]) == 0xFF) {
            ++offset;  // fill bytes
        }
        if (offset >= bytes.size()) {
            return std::nullopt;
        }
        const auto marker = static_cast<uint8_t>(bytes[offset++]);
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            continue;  // markers without a length
        }
        if (marker == 0xD9 || marker == 0xDA || offset + 2 > bytes.size()) {
            return std::nullopt;
        }
        const uint32_t length = bigEndian(bytes, offset, 2);
        if (length < 2) {
            return std::nullopt;
        }
        if (isStartOfFrame(marker)) {
            if (length < 7 || offset + 7 > bytes.size()) {
                return std::nullopt;
            }
            return nonEmpty(bigEndian(bytes, offset + 5, 2), bigEndian(bytes, offset + 3, 2));
        }
        offset += length;
    }
}

std::optional<PixelSize> webp(std::string_view bytes) {
    // "RIFF" size "WEBP", then the first chunk: its type, its size, its data.
    if (bytes.size() < 20) {
        return std::nullopt;
    }
    const std::string_view chunk = bytes.substr(12, 4);
    const std::string_view data = bytes.substr(20);
    if (chunk == "VP8 ") {
        // Lossy: a 3-byte frame tag, the start code 9D 01 2A, then 14-bit width and height.
        if (data.size() < 10 || data.substr(3, 3) != "\x9D\x01\x2A") {
            return std::nullopt;
        }
        return nonEmpty(littleEndian(data, 6, 2) & 0x3FFF, littleEndian(data, 8, 2) & 0x3FFF);
    }
    if (chunk == "VP8L") {
        // Lossless: signature 2F, then width - 1 and height - 1 in 14 bits each.
        if (data.size() < 5 || static_cast<uint8_t>(data[0]) != 0x2F) {
            return std::nullopt;
        }
        const uint32_t bits = littleEndian(data, 1, 4);
        return nonEmpty((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
    }
    if (chunk == "VP8X") {
        // Extended: flags and reserved bytes, then canvas width - 1 and height - 1 in 24 bits each.
        if (data.size() < 10) {
            return std::nullopt;
        }
        return nonEmpty(int64_t{littleEndian(data, 4, 3)} + 1, int64_t{littleEndian(data, 7, 3)} + 1);
    }
    return std::nullopt;
}

}  // namespace

std::optional<PixelSize> pixelSize(std::string_view header) {
    if (header.starts_with("\x89PNG\r\n\x1A\n")) {
        return png(header);
    }
    if (header.starts_with("\xFF\xD8")) {
        return jpeg(header);
    }
    if (header.starts_with("GIF87a") || header.starts_with("GIF89a")) {
        return gif(header);
    }
    if (header.size() >= 12 && header.starts_with("RIFF") && header.substr(8, 4) == "WEBP") {
        return webp(header);
    }
    return std::nullopt;
}

}  // namespace nudgerly::ImageHeader
